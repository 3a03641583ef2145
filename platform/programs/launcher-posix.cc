#include "platform/programs/launcher-posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/error.h"
#include "platform/programs/program_arguments-posix.h"
#include "platform/programs/spawn-posix.h"

namespace zindo {
namespace {

// Whether `program` is meant to run itself (a script, say) rather than be
// read as a DOS program information file. Throws when it is no file.
bool IsMeantToRun(const std::string& program) {
  struct stat status;
  if (::stat(program.c_str(), &status) != 0) {
    throw SystemError("start " + program, errno);
  }
  if (!S_ISREG(status.st_mode)) {
    throw Error("start " + program + ": not a regular file");
  }
  // Some systems let access() pass any file for root; the mode bits show
  // whether the file is meant to run at all.
  if ((status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) return false;
  if (::access(program.c_str(), X_OK) != 0) {
    throw Error("start " + program + ": not an executable file");
  }
  return true;
}

}  // namespace

void PosixLauncher::Launch(const std::string& pif_name) {
  const std::string& directory = files_.working_directory();
  std::string program = files_.FindExisting(pif_name);
  if (program.empty()) {
    throw SystemError("start " + pif_name + " in " + directory, ENOENT);
  }
  if (!IsMeantToRun(program)) {
    throw Error("start " + program +
                ": a DOS program, which this system "
                "cannot run by itself");
  }
  Spawn({{program},
         CurrentEnvironment(),
         directory,
         -1,
         /*detached=*/true,
         /*quiet=*/false});
}

bool PosixLauncher::StartsItself(const std::string& pif_name) {
  std::string program = files_.FindExisting(pif_name);
  struct stat status;
  if (program.empty() || ::stat(program.c_str(), &status) != 0) return true;
  return !S_ISREG(status.st_mode) ||
         (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

}  // namespace zindo

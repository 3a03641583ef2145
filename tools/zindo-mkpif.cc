// zindo-mkpif: writes the DOS program information file (PIF) from which the
// relay starts the companion, or shows what an existing one says. See kHelp
// for the command line.

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <string>
#include <variant>

#include "base/command_line.h"
#include "base/error.h"
#include "dos/program_information.h"
#include "platform/files/file_system-posix.h"
#include "tools/tool_support.h"

namespace {

using zindo::tools::kExitDone;
using zindo::tools::kExitFailed;

constexpr char kProgram[] = "zindo-mkpif";

constexpr char kHelp[] =
    "usage: zindo-mkpif [--force] OUTPUT PROGRAM [--dir START_DIR]\n"
    "                   [--params PARAMS]\n"
    "       zindo-mkpif --show FILE\n"
    "\n"
    "Writes OUTPUT, a DOS program information file that starts PROGRAM, for\n"
    "the relay to start the companion from (as autoexec.pif), or shows what\n"
    "FILE says. PROGRAM is a DOS path to a .COM, .EXE or .BAT file\n"
    "(C:\\DIR\\PROG.EXE or PROG.EXE); without --dir the relay starts it in "
    "its\n"
    "own working directory.\n"
    "\n"
    "  --dir START_DIR  the DOS directory to start PROGRAM in\n"
    "  --params PARAMS  the parameters to start PROGRAM with\n"
    "  --force          replace OUTPUT when it exists\n"
    "  --show FILE      print FILE's program, start directory and parameters\n"
    "  --help           print this text\n"
    "  --version        print the version\n";

constexpr std::array<zindo::KnownOption, 4> kOptions{{
    {"--dir", 0, zindo::OptionValue::kRequired},
    {"--params", 0, zindo::OptionValue::kRequired},
    {"--force", 0, zindo::OptionValue::kNone},
    {"--show", 0, zindo::OptionValue::kRequired},
}};

void Say(const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

int Show(const std::string& path) {
  zindo::ProgramInformation information =
      zindo::ParseProgramInformation(zindo::ReadWholeFile(path), path);
  std::printf("program: %s\nstart directory: %s\nparameters: %s\n",
              information.program.c_str(), information.start_directory.c_str(),
              information.parameters.c_str());
  return kExitDone;
}

// An existing file is replaced only when asked: it may be the companion's
// real PIF, which cannot be made again from what this tool knows.
int Write(const std::string& path, const zindo::ProgramInformation& information,
          bool force) {
  const std::string bytes = zindo::BuildProgramInformation(information);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (force ? O_TRUNC : O_EXCL);
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0 && errno == EEXIST) {
    Say(path + " already exists; --force replaces it");
    return kExitFailed;
  }
  if (fd < 0) throw zindo::SystemError("cannot write " + path, errno);
  const ssize_t written = write(fd, bytes.data(), bytes.size());
  const int write_error = errno;
  if (close(fd) != 0 || written != static_cast<ssize_t>(bytes.size())) {
    throw zindo::SystemError("cannot write " + path,
                             written < 0 ? write_error : EIO);
  }
  return kExitDone;
}

// What the command line asks for: to show a file, or to write one.
struct Job {
  std::string show;
  std::string output;
  zindo::ProgramInformation information;
  bool force = false;
};

Job JobFrom(const zindo::CommandLine& line) {
  Job job;
  for (const zindo::GivenOption& given : line.options) {
    if (given.name == "--dir") job.information.start_directory = *given.value;
    if (given.name == "--params") job.information.parameters = *given.value;
    if (given.name == "--force") job.force = true;
    if (given.name == "--show") job.show = *given.value;
  }
  if (!job.show.empty()) {
    if (line.options.size() != 1 || !line.operands.empty()) {
      throw zindo::CommandLineError("--show takes only the file to show");
    }
    return job;
  }
  if (line.operands.size() != 2) {
    throw zindo::CommandLineError("give an OUTPUT file and a PROGRAM");
  }
  job.output = line.operands[0];
  job.information.program = line.operands[1];
  return job;
}

}  // namespace

int main(int argc, char** argv) {
  auto read = zindo::tools::ReadCommandLine(argc, argv, kOptions, kProgram,
                                            kHelp, JobFrom);
  if (const int* status = std::get_if<int>(&read)) return *status;
  const Job& job = std::get<Job>(read);
  try {
    return job.show.empty() ? Write(job.output, job.information, job.force)
                            : Show(job.show);
  } catch (const zindo::Error& failure) {
    Say(failure.what());
    return kExitFailed;
  }
}

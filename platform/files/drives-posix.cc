#include "platform/files/drives-posix.h"

#include <cerrno>
#include <cstdlib>

#include "base/error.h"

namespace zindo {

// A link in dosdevices/ may point anywhere; what it shows is taken to stay.
std::map<char, Drives::Drive> PosixDrives::MappedDrives() {
  std::map<char, Drive> drives;
  for (const auto& [letter, directory] : files_.MappedDrives()) {
    drives[letter] = {directory, /*removable=*/false};
  }
  return drives;
}

std::string PosixDrives::ResolvedDirectory(const std::string& native_path) {
  char* resolved = ::realpath(native_path.c_str(), nullptr);
  if (resolved == nullptr) {
    throw SystemError("find the directory " + native_path, errno);
  }
  std::string path = resolved;
  std::free(resolved);
  return path;
}

std::string PosixDrives::WorkingDirectory() {
  return files_.working_directory();
}

}  // namespace zindo

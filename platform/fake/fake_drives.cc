#include "platform/fake/fake_drives.h"

#include "base/error.h"

namespace zindo {

std::string FakeDrives::ResolvedDirectory(const std::string& native_path) {
  const auto found = directories.find(native_path);
  if (found == directories.end()) {
    throw Error(
        "find the directory " + native_path + ": No such file or directory",
        ErrorKind::kNotFound);
  }
  return found->second;
}

}  // namespace zindo

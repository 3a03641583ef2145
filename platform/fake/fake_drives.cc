#include "platform/fake/fake_drives.h"

#include "base/dos_path.h"
#include "base/error.h"

namespace zindo {

std::string FakeDrives::ResolvedDirectory(const std::string& native_path) {
  if (unreadable.contains(native_path)) {
    throw Error("find the directory " + native_path + ": Permission denied");
  }
  const auto found = directories.find(native_path);
  if (found == directories.end()) {
    throw Error(
        "find the directory " + native_path + ": No such file or directory",
        ErrorKind::kNotFound);
  }
  return found->second;
}

std::string FakeDrives::ResolvedAsListed(const std::string& root,
                                         const std::string& names) {
  const bool separated = root.ends_with('/') || root.ends_with('\\');
  const std::string path = root + (separated ? "" : "/") + names;
  for (const auto& [directory, resolved] : directories) {
    if (AsciiUpperCase(directory) == AsciiUpperCase(path)) return resolved;
  }
  throw Error("find the directory " + path + ": No such file or directory",
              ErrorKind::kNotFound);
}

std::string FakeDrives::FromDosCodePage(const std::string& dos_text) {
  return FromCodePage437(dos_text);
}

}  // namespace zindo

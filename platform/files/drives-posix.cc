#include "platform/files/drives-posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "base/dos_path.h"
#include "base/error.h"

namespace zindo {
namespace {

std::string RealPath(const std::string& path, const std::string& what) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) throw SystemError(what, errno);
  std::string real = resolved;
  std::free(resolved);
  return real;
}

std::string Joined(const std::string& directory, const std::string& name) {
  return directory.ends_with('/') ? directory + name : directory + "/" + name;
}

}  // namespace

std::string CaseBlindName(const std::string& directory, const std::string& name,
                          const std::string& what) {
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(
      ::opendir(directory.c_str()), ::closedir);
  if (!listing) throw SystemError(what, errno);
  const std::string wanted = AsciiUpperCase(name);
  while (const dirent* entry = ::readdir(listing.get())) {
    if (AsciiUpperCase(entry->d_name) == wanted) return entry->d_name;
  }
  return "";
}

// A link in dosdevices/ may point anywhere; what it shows is taken to stay.
std::map<char, Drives::Drive> PosixDrives::MappedDrives() {
  std::map<char, Drive> drives;
  for (const auto& [letter, directory] : files_.MappedDrives()) {
    drives[letter] = {directory, /*removable=*/false};
  }
  return drives;
}

std::string PosixDrives::ResolvedDirectory(const std::string& native_path) {
  return RealPath(native_path, "find the directory " + native_path);
}

std::string PosixDrives::ResolvedAsListed(const std::string& root,
                                          const std::string& names) {
  const std::string what = "find the directory " + Joined(root, names);
  std::string path = root;
  std::size_t start = 0;
  while (start < names.size()) {
    const std::size_t end = std::min(names.find('/', start), names.size());
    const std::string name = names.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    struct stat status;
    std::string next = Joined(path, name);
    if (::stat(next.c_str(), &status) != 0) {
      if (errno != ENOENT) throw SystemError(what, errno);
      const std::string stored = CaseBlindName(path, name, what);
      if (stored.empty()) throw SystemError(what, ENOENT);
      next = Joined(path, stored);
    }
    path = next;
  }
  return RealPath(path, what);
}

std::string PosixDrives::FromDosCodePage(const std::string& dos_text) {
  return FromCodePage437(dos_text);
}

std::string PosixDrives::WorkingDirectory() {
  return files_.working_directory();
}

}  // namespace zindo

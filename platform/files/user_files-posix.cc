#include "platform/files/user_files-posix.h"

#include <fcntl.h>

#include <cerrno>

#include "base/error.h"
#include "platform/descriptor-posix.h"

namespace zindo {

UserFiles::UserFile PosixUserFiles::Read(const std::string& name) {
  UserFile file{files_.prefix() + "/" + name, std::nullopt};
  UniqueFd fd(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return file;
    throw SystemError("read " + file.path, errno);
  }
  std::string contents;
  if (int error = ReadAll(fd.get(), contents); error != 0) {
    throw SystemError("read " + file.path, error);
  }
  file.contents = std::move(contents);
  return file;
}

}  // namespace zindo

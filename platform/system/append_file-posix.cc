#include <fcntl.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/system/append_file.h"

namespace zindo {
namespace {

class PosixAppendFile : public AppendFile {
 public:
  PosixAppendFile(UniqueFd fd, std::string name)
      : fd_(std::move(fd)), name_(std::move(name)) {}

  void Append(const std::string& bytes) override {
    if (const int error = WriteAll(fd_.get(), bytes); error != 0) {
      throw SystemError("write " + name_, error);
    }
  }

 private:
  UniqueFd fd_;
  std::string name_;
};

}  // namespace

std::string TextLineEnd() { return "\n"; }

// Non-blocking, so that a file named after a pipe nobody reads fails at
// once instead of holding the caller up.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path,
                                           const std::string& name) {
  UniqueFd fd(::open(path.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK,
                     0644));
  if (!fd.valid()) throw SystemError("open " + name, errno);
  return std::make_unique<PosixAppendFile>(std::move(fd), name);
}

}  // namespace zindo

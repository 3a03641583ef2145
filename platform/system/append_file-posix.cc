#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

  std::uint64_t Size() override {
    struct stat status;
    if (::fstat(fd_.get(), &status) != 0) {
      throw SystemError("size of " + name_, errno);
    }
    return static_cast<std::uint64_t>(status.st_size);
  }

  void Lock() override {
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) throw SystemError("lock " + name_, errno);
    }
  }

  bool IsNamed(const std::string& path) override {
    struct stat mine;
    struct stat named;
    return ::fstat(fd_.get(), &mine) == 0 &&
           ::stat(path.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
           mine.st_ino == named.st_ino;
  }

 private:
  UniqueFd fd_;
  std::string name_;
};

bool IsFolder(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

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

// Each folder from the top down; one made meanwhile by someone else is as
// good as one made here. What is made is the user's own, as the base
// directory convention asks of the state folder.
void MakeFolders(const std::string& path) {
  std::size_t slash = 0;
  do {
    slash = path.find('/', slash + 1);
    const std::string folder = path.substr(0, slash);
    if (IsFolder(folder)) continue;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      throw SystemError("create " + folder, errno);
    }
  } while (slash != std::string::npos);
}

void RenameOver(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw SystemError("rename " + from + " to " + to, errno);
  }
}

std::optional<FilePart> ReadFilePart(const std::string& path, std::uint64_t end,
                                     std::size_t at_most) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid() && errno == ENOENT) return std::nullopt;
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0) {
    throw SystemError("read " + path, errno);
  }
  end = std::min(end, static_cast<std::uint64_t>(status.st_size));
  FilePart part;
  part.start = end > at_most ? end - at_most : 0;
  part.bytes.resize(static_cast<std::size_t>(end - part.start));
  const ssize_t got = ::pread(fd.get(), part.bytes.data(), part.bytes.size(),
                              static_cast<off_t>(part.start));
  if (got < 0) throw SystemError("read " + path, errno);
  part.bytes.resize(static_cast<std::size_t>(got));
  return part;
}

}  // namespace zindo

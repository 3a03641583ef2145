#ifndef ZINDO_PLATFORM_DESCRIPTOR_POSIX_H_
#define ZINDO_PLATFORM_DESCRIPTOR_POSIX_H_

#include <string>
#include <string_view>

namespace zindo {

// Owns a file descriptor and closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives up ownership without closing.
  int Release();

  // Closes now. Returns 0, or the errno of a failed close: a file system may
  // report a lost write only there.
  int Close();

 private:
  int fd_ = -1;
};

// Writes all of `bytes` to the blocking descriptor `fd`, continuing after
// partial writes and interrupted calls. Returns 0, or the errno of the write
// that failed.
int WriteAll(int fd, std::string_view bytes);

// Reads the blocking descriptor `fd` to its end, appending what it gives to
// `bytes`, and continuing after interrupted calls. Returns 0, or the errno
// of the read that failed (what was read before it stays in `bytes`).
int ReadAll(int fd, std::string& bytes);

// Whether `error` says a non-blocking descriptor has nothing to give or no
// room to take now, under either of its names.
bool IsWouldBlock(int error);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESCRIPTOR_POSIX_H_

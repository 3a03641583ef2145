#ifndef ZINDO_PLATFORM_HANDLE_WIN32_H_
#define ZINDO_PLATFORM_HANDLE_WIN32_H_

#include "platform/windows-win32.h"

namespace zindo {

// Owns a kernel handle and closes it when destroyed. Functions that fail
// with INVALID_HANDLE_VALUE and those that fail with a null handle both
// leave it invalid.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.Release();
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Close(); }

  HANDLE get() const { return handle_; }
  bool valid() const {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }

  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

  void Close() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_HANDLE_WIN32_H_

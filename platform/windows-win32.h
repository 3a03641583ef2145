#ifndef ZINDO_PLATFORM_WINDOWS_WIN32_H_
#define ZINDO_PLATFORM_WINDOWS_WIN32_H_

// The Windows API as the -win32 files use it: the system's headers, a
// handle that closes itself, the system's error texts and UTF-16 names.
// Include this instead of <windows.h>: windows.h defines CreateDirectory,
// DeleteFile and MessageBox as macros for their ...A/...W functions, and Yield
// as nothing, which would silently rename the relay's own methods and classes
// of the same names in some files and not in others.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// windows.h first: these rely on its types.
#include <mmsystem.h>
#include <objbase.h>
#include <shellapi.h>

#undef CreateDirectory
#undef DeleteFile
#undef MessageBox
#undef Yield

#include <string>

#include "base/error.h"

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

// The system's text for the Win32 error `code`, in UTF-8 and without the
// trailing line break, followed by the code itself: the text comes in the
// language of the installation, the code reads the same everywhere.
std::string Win32ErrorText(DWORD code);

// The kind of failure that the Win32 error `code` reports.
ErrorKind Win32ErrorKind(DWORD code);

// Builds an Error from a Win32 error code: "<what>: <text> (error <code>)",
// of the kind the code reports unless `kind` is given (a code that means
// one thing for a file may mean another for a device).
Error Win32Error(const std::string& what, DWORD code);
Error Win32Error(const std::string& what, DWORD code, ErrorKind kind);

// The same for the calling thread's last error (GetLastError()).
Error LastWin32Error(const std::string& what);

// The relay speaks UTF-8; the wide Win32 functions speak UTF-16. Bytes that
// are not valid UTF-8 (or unpaired surrogates the other way) become U+FFFD,
// so that a bad name fails to match instead of matching something else.
std::wstring ToUtf16(const std::string& utf8);
std::string ToUtf8(const std::wstring& utf16);

// Whether `a` and `b` are one name to Windows, which matches names of files
// and environment variables without regard to case.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_WINDOWS_WIN32_H_

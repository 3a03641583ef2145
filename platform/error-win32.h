#ifndef ZINDO_PLATFORM_ERROR_WIN32_H_
#define ZINDO_PLATFORM_ERROR_WIN32_H_

#include <string>

#include "base/error.h"
#include "platform/windows-win32.h"

namespace zindo {

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

}  // namespace zindo

#endif  // ZINDO_PLATFORM_ERROR_WIN32_H_

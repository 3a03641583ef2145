#include "platform/process-win32.h"

#include <cstdio>
#include <iostream>

#include "platform/unicode-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// A console shows UTF-16 correctly whatever its code page; a file or pipe
// gets the UTF-8 bytes. One call each, so that lines do not interleave.
void WriteToStandardError(const std::string& line) {
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(error, &mode)) {
    std::wstring text = ToUtf16(line + "\r\n");
    ::WriteConsoleW(error, text.data(), static_cast<DWORD>(text.size()),
                    &written, nullptr);
  } else {
    std::string text = line + "\n";
    ::WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
  }
}

}  // namespace

void Win32Process::ReportDiagnostic(const std::string& line) {
  ::OutputDebugStringW(ToUtf16(line + "\n").c_str());
  WriteToStandardError(line);
}

void Win32Process::Exit(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace zindo

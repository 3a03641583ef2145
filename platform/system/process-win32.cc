#include "platform/system/process-win32.h"

#include <cstdio>
#include <iostream>

#include "platform/windows-win32.h"

namespace zindo {

// A console shows UTF-16 correctly whatever its code page; a file or pipe
// gets the UTF-8 bytes. One call each, so that lines do not interleave.
bool WriteToStandardStream(bool output, const std::string& text) {
  HANDLE stream = ::GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(stream, &mode)) {
    std::wstring wide = ToUtf16(text);
    return ::WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()),
                           &written, nullptr) != 0;
  }
  return ::WriteFile(stream, text.data(), static_cast<DWORD>(text.size()),
                     &written, nullptr) != 0;
}

void Win32Process::WriteDiagnosticLine(const std::string& line) {
  ::OutputDebugStringW(ToUtf16(line + "\n").c_str());
  WriteToStandardStream(false, line + "\n");
}

void Win32Process::Exit(int status) {
  if (last_) last_();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ::ExitProcess(static_cast<UINT>(status));
}

std::string EnvironmentVariable(const wchar_t* name) {
  DWORD length = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (length == 0) return "";
  std::wstring value(length, L'\0');
  length = ::GetEnvironmentVariableW(name, value.data(), length);
  value.resize(length);
  return ToUtf8(value);
}

}  // namespace zindo

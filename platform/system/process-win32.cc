#include "platform/system/process-win32.h"

#include <cstdio>
#include <iostream>

#include "platform/windows-win32.h"

namespace zindo {
namespace {

// A standard stream that does not lead anywhere: a windowed program started
// from a console has none unless they were redirected.
bool Unusable(HANDLE stream) {
  return stream == nullptr || stream == INVALID_HANDLE_VALUE ||
         ::GetFileType(stream) == FILE_TYPE_UNKNOWN;
}

void PointAtConsole(DWORD which) {
  if (!Unusable(::GetStdHandle(which))) return;  // redirected: keep it
  HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (console != INVALID_HANDLE_VALUE) ::SetStdHandle(which, console);
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StartedFromConsole() {
  static const bool at_console = [] {
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
      PointAtConsole(STD_OUTPUT_HANDLE);
      PointAtConsole(STD_ERROR_HANDLE);
      return true;
    }
    // Attached already: Wine gives a windowed program started from a
    // console program that program's console.
    return IsConsole(STD_ERROR_HANDLE) || IsConsole(STD_OUTPUT_HANDLE);
  }();
  return at_console;
}

bool HasStandardStream(bool output) {
  StartedFromConsole();
  return !Unusable(
      ::GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE));
}

// A console shows UTF-16 correctly whatever its code page; a file or pipe
// gets the UTF-8 bytes. One call each, so that lines do not interleave.
bool WriteToStandardStream(bool output, const std::string& text) {
  if (!HasStandardStream(output)) return false;
  HANDLE stream = ::GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
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

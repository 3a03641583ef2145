#include "platform/error-win32.h"

#include "platform/unicode-win32.h"

namespace zindo {

std::string Win32ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer == nullptr ? L"" : buffer, length);
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  std::string code_text = "error " + std::to_string(code);
  if (text.empty()) return code_text;
  return ToUtf8(text) + " (" + code_text + ")";
}

Error Win32Error(const std::string& what, DWORD code) {
  return Error(what + ": " + Win32ErrorText(code));
}

Error LastWin32Error(const std::string& what) {
  return Win32Error(what, ::GetLastError());
}

}  // namespace zindo

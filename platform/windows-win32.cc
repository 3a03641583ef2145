#include "platform/windows-win32.h"

namespace zindo {

std::wstring ToUtf16(const std::string& utf8) {
  if (utf8.empty()) return L"";
  int size = static_cast<int>(utf8.size());
  int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring utf16(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, utf16.data(), length);
  return utf16;
}

std::string ToUtf8(const std::wstring& utf16) {
  if (utf16.empty()) return "";
  int size = static_cast<int>(utf16.size());
  int length = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0,
                                     nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, utf8.data(), length,
                        nullptr, nullptr);
  return utf8;
}

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

ErrorKind Win32ErrorKind(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ErrorKind::kNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return ErrorKind::kExists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
      return ErrorKind::kBusy;
    // What a USB serial adapter's driver reports once it is unplugged.
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return ErrorKind::kGone;
    default:
      return ErrorKind::kOther;
  }
}

Error Win32Error(const std::string& what, DWORD code) {
  return Win32Error(what, code, Win32ErrorKind(code));
}

Error Win32Error(const std::string& what, DWORD code, ErrorKind kind) {
  return Error(what + ": " + Win32ErrorText(code), kind);
}

Error LastWin32Error(const std::string& what) {
  return Win32Error(what, ::GetLastError());
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) ==
         CSTR_EQUAL;
}

}  // namespace zindo

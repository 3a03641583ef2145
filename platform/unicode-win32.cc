#include "platform/unicode-win32.h"

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

}  // namespace zindo

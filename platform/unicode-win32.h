#ifndef ZINDO_PLATFORM_UNICODE_WIN32_H_
#define ZINDO_PLATFORM_UNICODE_WIN32_H_

#include <string>

namespace zindo {

// The relay speaks UTF-8; the wide Win32 functions speak UTF-16. Bytes that
// are not valid UTF-8 (or unpaired surrogates the other way) become U+FFFD,
// so that a bad name fails to match instead of matching something else.
std::wstring ToUtf16(const std::string& utf8);
std::string ToUtf8(const std::wstring& utf16);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_UNICODE_WIN32_H_

#include "platform/windows-win32.h"

#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace zindo {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(Win32UnicodeTest, ConvertsBetweenUtf8AndUtf16) {
  using namespace std::string_literals;
  const struct {
    std::string utf8;
    std::wstring utf16;
    std::string back;
  } cases[] = {
      {"", L"", ""},
      {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", L"\u05E9\u05DC\u05D5\u05DD",
       "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},  // shalom
      // An embedded NUL, and a character beyond the BMP (a surrogate pair).
      {"a\0b\xF0\x9F\x98\x80"s, L"a\0b\U0001F600"s, "a\0b\xF0\x9F\x98\x80"s},
      // Invalid bytes become replacement characters.
      {"A\xFFZ", L"A\uFFFDZ", "A\xEF\xBF\xBDZ"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(ToUtf16(test.utf8), test.utf16) << test.utf8;
    EXPECT_EQ(ToUtf8(test.utf16), test.back) << test.utf8;
  }
}

TEST(Win32ErrorTest, CarriesTheSystemTextAndTheCode) {
  std::string text = Win32Error("open COM7", ERROR_FILE_NOT_FOUND).what();
  EXPECT_THAT(text, StartsWith("open COM7: "));
  EXPECT_THAT(text, EndsWith(" (error 2)"));
  // More than the code alone, and no line break from the message table.
  EXPECT_GT(text.size(), std::string("open COM7:  (error 2)").size());
  EXPECT_THAT(text, Not(HasSubstr("\n")));
  EXPECT_THAT(text, Not(HasSubstr("\r")));
  EXPECT_EQ(Win32ErrorText(0x2FFFFFFF), "error 805306367");  // unknown code
}

}  // namespace
}  // namespace zindo

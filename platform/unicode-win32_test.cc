#include "platform/unicode-win32.h"

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/error-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(Win32UnicodeTest, HebrewRoundTripsThroughUtf16) {
  const std::string hebrew = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D";  // shalom
  std::wstring wide = ToUtf16(hebrew);
  EXPECT_EQ(wide, L"\u05E9\u05DC\u05D5\u05DD");
  EXPECT_EQ(ToUtf8(wide), hebrew);
  EXPECT_EQ(ToUtf16(""), L"");
  EXPECT_EQ(ToUtf8(L""), "");
}

TEST(Win32UnicodeTest, KeepsEmbeddedNullsAndCharactersBeyondTheBmp) {
  const std::string text("a\0b\xF0\x9F\x98\x80", 7);
  EXPECT_EQ(ToUtf8(ToUtf16(text)), text);
  EXPECT_EQ(ToUtf16(text).size(), 5u);  // a, NUL, b, surrogate pair
}

TEST(Win32UnicodeTest, InvalidBytesBecomeReplacementCharacters) {
  std::wstring wide = ToUtf16(
      "A\xFF"
      "B");
  EXPECT_EQ(wide, L"A\uFFFDB");
}

TEST(Win32ErrorTest, CarriesTheSystemTextAndTheCode) {
  std::string text = Win32Error("open COM7", ERROR_FILE_NOT_FOUND).what();
  EXPECT_THAT(text, StartsWith("open COM7: "));
  EXPECT_THAT(text, EndsWith(" (error 2)"));
  // More than the code alone, and no line break from the message table.
  EXPECT_GT(text.size(), std::string("open COM7:  (error 2)").size());
  EXPECT_THAT(text, Not(HasSubstr("\n")));
  EXPECT_THAT(text, Not(HasSubstr("\r")));
}

TEST(Win32ErrorTest, UnknownCodeStillNamesTheCode) {
  EXPECT_EQ(Win32ErrorText(0x2FFFFFFF), "error 805306367");
}

TEST(Win32ErrorTest, LastErrorIsTheThreadsLastError) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_THAT(LastWin32Error("x").what(), EndsWith("(error 5)"));
}

}  // namespace
}  // namespace zindo

#include "platform/programs/spawn-win32.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// The words come back whole from the system's own parser.
TEST(Win32SpawnTest, CommandLineSplitsBackIntoTheSameWords) {
  const std::vector<std::string> words = {
      "C:\\Program Files (x86)\\DOSBox-0.74-3\\DOSBox.exe",
      "",
      "-c",
      "mount C \"C:\\\"",
      "ends with \\",
      "a\\\\\"b",
      "plain"};
  int count = 0;
  LPWSTR* parsed =
      ::CommandLineToArgvW(ToUtf16(CommandLineOf(words)).c_str(), &count);
  ASSERT_NE(parsed, nullptr);
  std::vector<std::string> back;
  for (int i = 0; i < count; ++i) back.push_back(ToUtf8(parsed[i]));
  ::LocalFree(parsed);
  EXPECT_EQ(back, words);
}

}  // namespace
}  // namespace zindo

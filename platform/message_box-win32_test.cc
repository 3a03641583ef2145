#include "platform/message_box-win32.h"

#include <cstdlib>

#include "gtest/gtest.h"

namespace zindo {
namespace {

// A message box waits for someone to press OK, so it is shown only where
// the person running the tests says they are there to do it.
TEST(Win32MessageBoxTest, ShowsHebrewRightToLeft) {
  if (std::getenv("ZINDO_TEST_DISPLAY") == nullptr) {
    GTEST_SKIP() << "set ZINDO_TEST_DISPLAY to show a message box";
  }
  Win32MessageBox box;
  box.Show("\xD7\x96\xD7\x99\xD7\xA0\xD7\x93\xD7\x95",
           "\xD7\x91\xD7\x93\xD7\x99\xD7\xA7\xD7\x94 (test): "
           "\xD7\x9C\xD7\x97\xD7\xA5 OK");
}

}  // namespace
}  // namespace zindo

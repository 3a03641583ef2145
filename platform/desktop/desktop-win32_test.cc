#include "platform/desktop/desktop-win32.h"

#include <string>
#include <vector>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

// The keys arrive at the window as a keyboard sends them, one stroke each.
TEST(Win32DesktopTest, PostsControlAndTheKeyToTheProcessWindow) {
  HWND window =
      ::CreateWindowExW(0, L"STATIC", L"zindo test", WS_OVERLAPPED, 0, 0, 10,
                        10, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) GTEST_SKIP() << "no desktop to make a window on";
  Win32Desktop desktop;
  EXPECT_THAT(
      [&] { desktop.SendControlFunctionKey(::GetCurrentProcessId(), 4); },
      ::testing::ThrowsMessage<Error>(HasSubstr("has no window")));
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  desktop.SendControlFunctionKey(::GetCurrentProcessId(), 4);
  std::vector<std::string> strokes;
  MSG message;
  while (::PeekMessageW(&message, window, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    const auto parameter = static_cast<unsigned long>(message.lParam);
    strokes.push_back(
        std::string(message.message == WM_KEYDOWN ? "down " : "up ") +
        std::to_string(message.wParam) + " scan " +
        std::to_string((parameter >> 16) & 0xFF) + " flags " +
        std::to_string(parameter >> 30));
  }
  ::DestroyWindow(window);
  const auto scan = [](UINT key) {
    return std::to_string(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  };
  EXPECT_EQ(strokes, (std::vector<std::string>{
                         "down 17 scan " + scan(VK_CONTROL) + " flags 0",
                         "down 115 scan " + scan(VK_F4) + " flags 0",
                         "up 115 scan " + scan(VK_F4) + " flags 3",
                         "up 17 scan " + scan(VK_CONTROL) + " flags 3"}));
}

}  // namespace
}  // namespace zindo

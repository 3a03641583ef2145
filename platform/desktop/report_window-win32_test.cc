#include "platform/desktop/report_window-win32.h"

#include <chrono>
#include <future>
#include <string>

#include "gtest/gtest.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// The window once it is there, or null when `shown` ended without one.
HWND FindReportWindow(std::future<bool>& shown) {
  for (;;) {
    // Shown once it is made whole, controls and all.
    HWND window = ::FindWindowW(kReportWindowClass, nullptr);
    if (window != nullptr && ::IsWindowVisible(window)) return window;
    // The window is made on the other thread.
    if (shown.wait_for(std::chrono::milliseconds(10)) ==
        std::future_status::ready) {
      return nullptr;
    }
  }
}

std::wstring TextOf(HWND control) {
  std::wstring text(::GetWindowTextLengthW(control), L'\0');
  ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()) + 1);
  return text;
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!::OpenClipboard(nullptr)) return L"(the clipboard cannot be opened)";
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(::GlobalLock(data));
    ::GlobalUnlock(data);
  }
  ::CloseClipboard();
  return text;
}

// What a click on button `id` sends its window.
void Click(HWND window, int id) {
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
}

bool FixedPitch(HWND control) {
  HDC context = ::GetDC(control);
  HGDIOBJ before = ::SelectObject(
      context,
      reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(context, &metrics);
  ::SelectObject(context, before);
  ::ReleaseDC(control, context);
  // The bit, despite its name, is set for a variable pitch.
  return (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0;
}

// The report in a window the user can read, select in and copy from, until
// Close: every line, the verdict first, in a monospaced read-only field that
// wraps long lines; Copy puts the whole text on the clipboard with Windows
// line ends.
TEST(ReportWindowTest, ShowsTheReportToCopyUntilClosed) {
  const std::string report =
      "ok       prefix: C:\\zindo\nPROBLEM  port: COM3 \xd7\xa9 busy\n"
      "The relay would not start here.\n";
  const std::wstring expected =
      L"The relay would not start here.\r\n\r\nok       prefix: "
      L"C:\\zindo\r\nPROBLEM  port: COM3 \x05e9 busy\r\n";
  auto shown = std::async(std::launch::async, [&] {
    return ShowReportWindow("Check zindo-relay", report);
  });
  HWND window = FindReportWindow(shown);
  if (window == nullptr) {
    ASSERT_FALSE(shown.get()) << "shown, but not found";
    GTEST_SKIP() << "no desktop to show the window on";
  }
  HWND field = ::GetDlgItem(window, kReportTextId);
  EXPECT_EQ(TextOf(field), expected);
  EXPECT_NE(::GetWindowLongW(field, GWL_STYLE) & ES_READONLY, 0);
  EXPECT_EQ(::GetWindowLongW(field, GWL_STYLE) & (ES_AUTOHSCROLL | WS_HSCROLL),
            0);
  EXPECT_TRUE(FixedPitch(field));
  EXPECT_EQ(TextOf(::GetDlgItem(window, kReportCopyId)), L"Copy");

  Click(window, kReportCopyId);
  EXPECT_EQ(ClipboardText(), expected);
  EXPECT_TRUE(::IsWindow(window)) << "it closed on Copy";
  EXPECT_EQ(TextOf(::GetDlgItem(window, kReportCloseId)), L"Close");
  Click(window, kReportCloseId);
  EXPECT_TRUE(shown.get());
  EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
}  // namespace zindo

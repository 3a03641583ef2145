#include "platform/system/stop_requests-win32.h"

#include <memory>
#include <thread>

#include "gtest/gtest.h"
#include "platform/desktop/message_box-win32.h"
#include "platform/system/event_pump-win32.h"
#include "platform/system/stop_request.h"
#include "platform/testing/testing-win32.h"

namespace zindo {
namespace {

struct SessionMessage {
  const char* name;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  const char* reason;
};

class Win32StopRequestsTest : public ::testing::TestWithParam<SessionMessage> {
};

// The system sends these from outside the relay's thread, while the relay
// waits: the wait ends at once and every yield from then on throws.
TEST_P(Win32StopRequestsTest, SessionMessageEndsTheRelaysWait) {
  const SessionMessage& sent = GetParam();
  Win32StopRequests stop;
  win32_test::TemporaryDirectory directory;
  Win32EventPump pump(directory.path(), std::make_shared<WatchList>(), &stop);
  HWND window = ::FindWindowW(Win32StopRequests::kWindowClass, nullptr);
  if (window == nullptr &&
      ::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
    GTEST_SKIP() << "no desktop to put the session window on (set DISPLAY)";
  }
  ASSERT_NE(window, nullptr);

  std::thread system([&] {
    ::Sleep(100);
    DWORD_PTR answer = 0;
    // A Wine prefix that is still starting may keep the first tries waiting.
    for (int tries = 0; tries < 30; ++tries) {
      if (::SendMessageTimeoutW(window, sent.message, sent.wparam, sent.lparam,
                                SMTO_NORMAL, 2000, &answer) != 0) {
        break;
      }
    }
    if (sent.message == WM_QUERYENDSESSION) {
      EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));  // it may end
    }
  });
  const double start = MonotonicNow();
  try {
    pump.Yield(60.0, WakeOn::kTimeOnly);
    ADD_FAILURE() << "the yield returned without a stop";
  } catch (const StopRequested& requested) {
    EXPECT_EQ(requested.reason, sent.reason);
  }
  system.join();
  EXPECT_LT(win32_test::SecondsSince(start), 30.0);
  EXPECT_THROW(pump.Yield(0, WakeOn::kActivity), StopRequested);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Win32StopRequestsTest,
    ::testing::Values(
        SessionMessage{"QueryLogOff", WM_QUERYENDSESSION, 0,
                       static_cast<LPARAM>(ENDSESSION_LOGOFF), "log-off"},
        SessionMessage{"EndShutdown", WM_ENDSESSION, TRUE, 0, "shutdown"},
        SessionMessage{"Close", WM_CLOSE, 0, 0, "WM_CLOSE"}),
    [](const auto& test) { return std::string(test.param.name); });

// Log-off while a message box waits for OK: the box is closed, and Show
// throws instead of returning as if it had been dismissed.
TEST(Win32StopRequestsBoxTest, SessionEndClosesAMessageBox) {
  Win32StopRequests stop;
  HWND session = ::FindWindowW(Win32StopRequests::kWindowClass, nullptr);
  if (session == nullptr) GTEST_SKIP() << "no desktop (set DISPLAY)";
  Win32MessageBox box(&stop);
  std::thread system([&] {
    HWND shown = nullptr;
    for (int tries = 0; tries < 300 && shown == nullptr; ++tries) {
      ::Sleep(100);
      shown = ::FindWindowW(L"#32770", L"zindo-relay test");
    }
    ASSERT_NE(shown, nullptr) << "the message box did not appear";
    ::SendMessageTimeoutW(session, WM_QUERYENDSESSION, 0,
                          static_cast<LPARAM>(ENDSESSION_LOGOFF), SMTO_NORMAL,
                          10'000, nullptr);
    for (int tries = 0; tries < 100 && ::IsWindow(shown); ++tries) {
      ::Sleep(100);
    }
    if (::IsWindow(shown)) {
      ADD_FAILURE() << "the message box stayed open";
      ::PostMessageW(shown, WM_COMMAND, IDOK, 0);  // so that the test ends
    }
  });
  EXPECT_THROW(box.Show("zindo-relay test", "Waiting for a log-off"),
               StopRequested);
  system.join();
}

}  // namespace
}  // namespace zindo

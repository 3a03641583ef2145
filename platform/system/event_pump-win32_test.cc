#include "platform/system/event_pump-win32.h"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "gtest/gtest.h"
#include "platform/testing/testing-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using win32_test::WriteNativeFile;

// Stands in for an open serial port.
class FakeReceiveWatch : public ReceiveWatch {
 public:
  FakeReceiveWatch() : event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ReceiveWait ArmReceiveWait() override {
    ++arms;
    return {bytes_waiting, event.get()};
  }
  UniqueHandle event;
  bool bytes_waiting = false;
  int arms = 0;
};

class Win32EventPumpTest : public ::testing::Test {
 protected:
  // The names the relay would have looked up, and a port.
  Win32EventPumpTest() {
    watch_list_->WatchName("ZINDOK1.TXT");
    watch_list_->WatchName("status.dat");
    watch_list_->AddSerialPort(&port_);
  }
  ~Win32EventPumpTest() override { watch_list_->RemoveSerialPort(&port_); }

  double TimedYield(double seconds, WakeOn wake_on) {
    const double start = MonotonicNow();
    pump_.Yield(seconds, wake_on);
    return win32_test::SecondsSince(start);
  }

  win32_test::TemporaryDirectory directory_;
  std::shared_ptr<WatchList> watch_list_ = std::make_shared<WatchList>();
  Win32EventPump pump_{directory_.path(), watch_list_};
  FakeReceiveWatch port_;
};

TEST(WaitMillisecondsTest, RoundsDownAndStaysWithinADay) {
  EXPECT_EQ(WaitMilliseconds(0.0), 0u);
  EXPECT_EQ(WaitMilliseconds(-1.0), 0u);
  EXPECT_EQ(WaitMilliseconds(0.0009), 0u);
  EXPECT_EQ(WaitMilliseconds(0.0505), 50u);
  EXPECT_EQ(WaitMilliseconds(1e12), 86'400'000u);
}

TEST_F(Win32EventPumpTest, TimeOnlyWaitsTheTimeAndNoLonger) {
  EXPECT_LT(TimedYield(0.0, WakeOn::kActivity), 0.05);
  EXPECT_LT(TimedYield(-3.0, WakeOn::kTimeOnly), 0.05);
  double waited = TimedYield(0.1, WakeOn::kTimeOnly);
  EXPECT_GE(waited, 0.09);
  EXPECT_LT(waited, 0.13);
}

// A request file written, or bytes arriving, while the relay waits.
TEST_F(Win32EventPumpTest, ActivityCutsAWaitShort) {
  ASSERT_TRUE(pump_.watches_directory());
  const std::function<void()> wakers[] = {
      [&] { ::SetEvent(port_.event.get()); },
      [&] { WriteNativeFile(directory_ / "ZINDOK1.TXT", "request"); },
  };
  for (const auto& wake : wakers) {
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      wake();
    });
    double waited = TimedYield(5.0, WakeOn::kActivity);
    other.join();
    EXPECT_GE(waited, 0.05);
    EXPECT_LT(waited, 2.0);
    ::ResetEvent(port_.event.get());  // the device's bytes were read
  }
}

TEST_F(Win32EventPumpTest, ChangeDuringAPauseWakesTheNextActivityWaitOnce) {
  WriteNativeFile(directory_ / "STATUS.DAT", "x");
  // A pause does not watch, so the change is still there afterwards...
  EXPECT_GE(TimedYield(0.1, WakeOn::kTimeOnly), 0.09);
  EXPECT_LT(TimedYield(2.0, WakeOn::kActivity), 0.5);
  // ...and once it has woken a wait, it does not wake the next one; nor do
  // other names, or new contents of a watched one.
  WriteNativeFile(directory_ / "OTHER.DAT", "x");
  WriteNativeFile(directory_ / "STATUS.DAT", "longer contents");
  EXPECT_GE(TimedYield(0.2, WakeOn::kActivity), 0.15);
}

TEST_F(Win32EventPumpTest, BytesAlreadyWaitingReturnAtOnce) {
  port_.bytes_waiting = true;
  EXPECT_LT(TimedYield(2.0, WakeOn::kActivity), 0.5);
  EXPECT_EQ(port_.arms, 1);
  // A pause leaves the port alone: it must not spin on unread bytes.
  EXPECT_GE(TimedYield(0.1, WakeOn::kTimeOnly), 0.09);
  EXPECT_EQ(port_.arms, 1);
}

TEST_F(Win32EventPumpTest, PostedMessagesAreProcessed) {
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
  pump_.Yield(0.0, WakeOn::kTimeOnly);
  MSG message;
  EXPECT_FALSE(::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
}  // namespace zindo

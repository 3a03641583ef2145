#include "platform/event_pump-win32.h"

#include <chrono>
#include <memory>
#include <thread>

#include "gtest/gtest.h"
#include "platform/handle-win32.h"
#include "platform/testing-win32.h"

namespace zindo {
namespace {

using Clock = std::chrono::steady_clock;
using win32_test::SecondsSince;
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
  // The names the relay would have looked up.
  Win32EventPumpTest() {
    watch_list_->WatchName("ZINDOK1.TXT");
    watch_list_->WatchName("status.dat");
  }

  double TimedYield(double seconds, WakeOn wake_on) {
    auto start = Clock::now();
    pump_.Yield(seconds, wake_on);
    return SecondsSince(start);
  }

  win32_test::TemporaryDirectory directory_;
  std::shared_ptr<WatchList> watch_list_ = std::make_shared<WatchList>();
  Win32EventPump pump_{directory_.path(), watch_list_};
};

TEST(WaitMillisecondsTest, RoundsDownAndStaysWithinADay) {
  EXPECT_EQ(WaitMilliseconds(0.0), 0u);
  EXPECT_EQ(WaitMilliseconds(-1.0), 0u);
  EXPECT_EQ(WaitMilliseconds(0.0009), 0u);
  EXPECT_EQ(WaitMilliseconds(0.0505), 50u);
  EXPECT_EQ(WaitMilliseconds(1e12), 86'400'000u);
}

TEST_F(Win32EventPumpTest, ZeroWaitReturnsAtOnce) {
  EXPECT_LT(TimedYield(0.0, WakeOn::kActivity), 0.05);
  EXPECT_LT(TimedYield(-3.0, WakeOn::kTimeOnly), 0.05);
}

TEST_F(Win32EventPumpTest, TimeOnlyWaitsAboutTheTimeAndNoLonger) {
  double waited = TimedYield(0.1, WakeOn::kTimeOnly);
  EXPECT_GE(waited, 0.09);
  EXPECT_LT(waited, 0.13);
}

TEST_F(Win32EventPumpTest, DirectoryChangeCutsAnActivityWaitShort) {
  ASSERT_TRUE(pump_.watches_directory());
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteNativeFile(directory_ / "ZINDOK1.TXT", "request");
  });
  double waited = TimedYield(5.0, WakeOn::kActivity);
  writer.join();
  EXPECT_GE(waited, 0.05);
  EXPECT_LT(waited, 2.0);
}

TEST_F(Win32EventPumpTest, ChangeDuringAPauseWakesTheNextActivityWaitOnce) {
  WriteNativeFile(directory_ / "STATUS.DAT", "x");
  // A pause does not watch, so the change is still there afterwards...
  EXPECT_GE(TimedYield(0.1, WakeOn::kTimeOnly), 0.09);
  EXPECT_LT(TimedYield(2.0, WakeOn::kActivity), 0.5);
  // ...and once it has woken a wait, it does not wake the next one.
  EXPECT_GE(TimedYield(0.2, WakeOn::kActivity), 0.15);
}

TEST_F(Win32EventPumpTest, OtherNamesAndContentsDoNotWake) {
  WriteNativeFile(directory_ / "STATUS.DAT", "x");
  EXPECT_LT(TimedYield(2.0, WakeOn::kActivity), 0.5);
  WriteNativeFile(directory_ / "OTHER.DAT", "x");
  WriteNativeFile(directory_ / "STATUS.DAT", "longer contents");
  EXPECT_GE(TimedYield(0.2, WakeOn::kActivity), 0.15);
}

TEST_F(Win32EventPumpTest, BytesAlreadyWaitingReturnAtOnce) {
  FakeReceiveWatch port;
  port.bytes_waiting = true;
  watch_list_->AddSerialPort(&port);
  EXPECT_LT(TimedYield(2.0, WakeOn::kActivity), 0.5);
  EXPECT_EQ(port.arms, 1);
  // A pause leaves the port alone: it must not spin on unread bytes.
  EXPECT_GE(TimedYield(0.1, WakeOn::kTimeOnly), 0.09);
  EXPECT_EQ(port.arms, 1);
  watch_list_->RemoveSerialPort(&port);
}

TEST_F(Win32EventPumpTest, ArrivingBytesCutAnActivityWaitShort) {
  FakeReceiveWatch port;
  watch_list_->AddSerialPort(&port);
  std::thread device([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::SetEvent(port.event.get());
  });
  double waited = TimedYield(5.0, WakeOn::kActivity);
  device.join();
  EXPECT_GE(waited, 0.05);
  EXPECT_LT(waited, 2.0);
  watch_list_->RemoveSerialPort(&port);
}

TEST_F(Win32EventPumpTest, PostedMessagesAreProcessed) {
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
  pump_.Yield(0.0, WakeOn::kTimeOnly);
  MSG message;
  EXPECT_FALSE(::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
}  // namespace zindo

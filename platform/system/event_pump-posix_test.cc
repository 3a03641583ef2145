#include "platform/system/event_pump-posix.h"

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "gtest/gtest.h"
#include "platform/files/directory_source-posix.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::WriteNativeFile;

// A wait the test expects to be cut short, and a bound well below it that
// shows it was, however slow the machine.
constexpr double kLongWait = 60.0;
constexpr double kWokeEarly = 30.0;
// A wait that must run its course: ppoll never returns before its time
// unless woken. The bound allows for clocks that round.
constexpr double kShortWait = 0.2;
constexpr double kRanItsCourse = 0.18;
constexpr auto kDelay = std::chrono::milliseconds(100);

// A pump over a working directory in which the relay has looked for the
// request file.
struct WatchedDirectory {
  explicit WatchedDirectory(bool poll_only) {
    auto source = std::make_unique<InotifyDirectorySource>(poll_only, nullptr);
    descriptor = source->descriptor();
    monitor = std::make_shared<DirectoryMonitor>(std::move(source));
    monitor->Find(work.path(), "ZINDOK1.TXT");
  }
  posix_test::TemporaryDirectory work;
  int descriptor;
  std::shared_ptr<DirectoryMonitor> monitor;
};

class PosixEventPumpTest : public ::testing::Test {
 protected:
  double TimeYield(double max_wait, WakeOn wake_on) {
    const double start = MonotonicNow();
    pump_.Yield(max_wait, wake_on);
    return posix_test::SecondsSince(start);
  }

  // Watches the slave end, raw as an open port is, so that single bytes
  // are ready at once rather than at the end of a line.
  void WatchPort() {
    termios line;
    ASSERT_EQ(::tcgetattr(terminal_.slave(), &line), 0);
    ::cfmakeraw(&line);
    ASSERT_EQ(::tcsetattr(terminal_.slave(), TCSANOW, &line), 0);
    watch_list_->AddSerialPort(terminal_.slave());
  }

  void SendToPort() { ASSERT_EQ(::write(terminal_.master(), "\x02", 1), 1); }

  WatchedDirectory directory_{/*poll_only=*/false};
  const posix_test::TemporaryDirectory& work_ = directory_.work;
  posix_test::PseudoTerminal terminal_;
  std::shared_ptr<WatchList> watch_list_ = std::make_shared<WatchList>();
  PosixEventPump pump_{directory_.monitor, directory_.descriptor, watch_list_};
};

// --- Waking on activity ---

TEST_F(PosixEventPumpTest, WakesWhenBytesArriveOrThePortHangsUp) {
  WatchPort();
  std::thread far_end([&] {
    std::this_thread::sleep_for(kDelay);
    SendToPort();
  });
  EXPECT_LT(TimeYield(kLongWait, WakeOn::kActivity), kWokeEarly);
  far_end.join();

  ASSERT_EQ(::tcflush(terminal_.slave(), TCIFLUSH), 0);
  terminal_.CloseMaster();
  EXPECT_LT(TimeYield(kLongWait, WakeOn::kActivity), kWokeEarly);
}

// A change the pump has not waited on yet ends the next wait: one made
// during a pause, which does not watch, and one a look-up has read the
// kernel's report of on its way, for the loop that sleeps has not seen it.
TEST_F(PosixEventPumpTest, ChangeNotWaitedOnYetCutsTheNextYieldShort) {
  ASSERT_GE(directory_.descriptor, 0) << "the directory is watched, not polled";
  WriteNativeFile(work_ / "ZINDOK1.TXT", "request");
  pump_.Yield(0.01, WakeOn::kTimeOnly);
  EXPECT_LT(TimeYield(kLongWait, WakeOn::kActivity), kWokeEarly);

  ASSERT_EQ(::unlink((work_ / "ZINDOK1.TXT").c_str()), 0);
  WriteNativeFile(work_ / "ZINDOK1.TXT", "request");
  ASSERT_EQ(directory_.monitor->Find(work_.path(), "ZINDOK1.TXT"),
            "ZINDOK1.TXT");
  pump_.Yield(0, WakeOn::kActivity);
  EXPECT_LT(TimeYield(kLongWait, WakeOn::kActivity), kWokeEarly);
}

// --- Not waking for nothing ---

// A change wakes the pump once; names the relay does not look for never.
TEST_F(PosixEventPumpTest, WakesOnlyOnceAndOnlyForTheNamesLookedFor) {
  WriteNativeFile(work_ / "ZINDOK1.TXT", "request");
  pump_.Yield(kLongWait, WakeOn::kActivity);
  WriteNativeFile(work_ / "OTHER.DAT", "data");
  ASSERT_EQ(::unlink((work_ / "OTHER.DAT").c_str()), 0);
  EXPECT_GE(TimeYield(kShortWait, WakeOn::kActivity), kRanItsCourse);
}

TEST_F(PosixEventPumpTest, TimeOnlyWaitsOutFilesAndUnreadBytes) {
  WatchPort();
  SendToPort();
  WriteNativeFile(work_ / "ZINDOK1.TXT", "request");

  EXPECT_GE(TimeYield(kShortWait, WakeOn::kTimeOnly), kRanItsCourse);
  watch_list_->RemoveSerialPort(terminal_.slave());
  pump_.Yield(kLongWait, WakeOn::kActivity);  // the request file
  EXPECT_GE(TimeYield(kShortWait, WakeOn::kActivity), kRanItsCourse);
}

// --- Bounds ---

TEST_F(PosixEventPumpTest, NeverWaitsLongerThanAsked) {
  constexpr double kGenerousBound = 10.0;
  EXPECT_LT(TimeYield(kShortWait, WakeOn::kActivity), kGenerousBound);
  EXPECT_LT(TimeYield(0, WakeOn::kActivity), kGenerousBound);
  EXPECT_LT(TimeYield(-5, WakeOn::kTimeOnly), kGenerousBound);
}

}  // namespace
}  // namespace zindo

#include "platform/system/stop_signals-posix.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "gtest/gtest.h"
#include "platform/files/directory_source-posix.h"
#include "platform/system/event_pump-posix.h"
#include "platform/system/stop_request.h"
#include "platform/system/watch_list-posix.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

std::string ReasonThrownBy(const StopSignals& stop) {
  try {
    stop.ThrowIfRequested();
  } catch (const StopRequested& requested) {
    return requested.reason;
  }
  return "";
}

bool Readable(int fd) {
  pollfd ready{fd, POLLIN, 0};
  return ::poll(&ready, 1, 0) == 1;
}

// Without the handlers each raise would end the test's process.
TEST(StopSignalsTest, EachSignalIsCaughtAndTheFirstOneCounts) {
  StopSignals stop;
  EXPECT_EQ(ReasonThrownBy(stop), "");
  EXPECT_FALSE(Readable(stop.fd()));

  ASSERT_EQ(::raise(SIGHUP), 0);
  ASSERT_EQ(::raise(SIGTERM), 0);
  ASSERT_EQ(::raise(SIGINT), 0);

  EXPECT_TRUE(stop.requested());
  EXPECT_EQ(ReasonThrownBy(stop), "SIGHUP");
  EXPECT_TRUE(Readable(stop.fd()));
  stop.Drain();
  EXPECT_FALSE(Readable(stop.fd()));
  EXPECT_EQ(ReasonThrownBy(stop), "SIGHUP");  // draining forgets nothing
}

// Started under nohup: a hang-up must not end the relay.
TEST(StopSignalsTest, SignalIgnoredAtStartStaysIgnored) {
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGHUP, &ignore, &previous), 0);
  {
    StopSignals stop;
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_FALSE(stop.requested());
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_EQ(ReasonThrownBy(stop), "SIGTERM");
  }
  ::sigaction(SIGHUP, &previous, nullptr);
}

// A pause waits for the time only, yet a signal ends it at once. (An idle
// wait for activity is cut short the same way: the relay's end-to-end stop
// tests signal it there.)
TEST(StopSignalsTest, CutsShortEvenAWaitForTheTimeOnly) {
  StopSignals stop;
  posix_test::TemporaryDirectory directory;
  auto directories = std::make_shared<DirectoryMonitor>(
      std::make_unique<InotifyDirectorySource>(false, nullptr));
  directories->Find(directory.path(), "ZINDOK1.TXT");
  PosixEventPump pump(directories, -1, std::make_shared<WatchList>(), &stop);
  std::thread signaller([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(::getpid(), SIGTERM);
  });
  const double start = MonotonicNow();
  try {
    pump.Yield(60.0, WakeOn::kTimeOnly);
    ADD_FAILURE() << "the yield returned without a stop";
  } catch (const StopRequested& requested) {
    EXPECT_EQ(requested.reason, "SIGTERM");
  }
  signaller.join();
  EXPECT_LT(posix_test::SecondsSince(start), 30.0);
  // And every yield after it, even one that does not wait.
  EXPECT_THROW(pump.Yield(0, WakeOn::kActivity), StopRequested);
}

}  // namespace
}  // namespace zindo

#include "platform/clock-win32.h"

#include <cmath>

#include "gtest/gtest.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

TEST(Win32ClockTest, ReadsLocalTimeOfDayToTheMillisecond) {
  Win32Clock clock;
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  double seconds = clock.SecondsSinceMidnight();
  double expected = local.wHour * 3600.0 + local.wMinute * 60.0 +
                    local.wSecond + local.wMilliseconds / 1000.0;
  EXPECT_GE(seconds, 0.0);
  EXPECT_LT(seconds, 86400.0);
  // Across midnight the two readings straddle the restart.
  double difference = std::fmod(seconds - expected + 86400.0, 86400.0);
  EXPECT_LT(difference, 1.0);
}

TEST(Win32ClockTest, MovesWithMillisecondResolution) {
  Win32Clock clock;
  double before = clock.SecondsSinceMidnight();
  ::Sleep(30);
  double after = clock.SecondsSinceMidnight();
  double elapsed = std::fmod(after - before + 86400.0, 86400.0);
  EXPECT_GE(elapsed, 0.02);
  EXPECT_LT(elapsed, 1.0);
  // Not whole seconds: the fraction comes from the system's milliseconds.
  bool fractional = false;
  for (int i = 0; i < 20 && !fractional; ++i) {
    double now = clock.SecondsSinceMidnight();
    fractional = now != std::floor(now);
    ::Sleep(7);
  }
  EXPECT_TRUE(fractional);
}

}  // namespace
}  // namespace zindo

#include "platform/system/clock-win32.h"

#include <cmath>

#include "gtest/gtest.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// The local time of day, with the system's milliseconds as the fraction.
TEST(Win32ClockTest, ReadsLocalTimeOfDayToTheMillisecond) {
  Win32Clock clock;
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  double seconds = clock.SecondsSinceMidnight();
  EXPECT_GE(seconds, 0.0);
  EXPECT_LT(seconds, 86400.0);
  // Across midnight the two readings straddle the restart.
  double expected = local.wHour * 3600.0 + local.wMinute * 60.0 +
                    local.wSecond + local.wMilliseconds / 1000.0;
  EXPECT_LT(std::fmod(seconds - expected + 86400.0, 86400.0), 1.0);
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

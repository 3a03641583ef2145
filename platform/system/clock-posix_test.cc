#include "platform/system/clock-posix.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "gtest/gtest.h"

namespace zindo {
namespace {

constexpr double kDay = 86400.0;

// Reads the clock with TZ set to `zone`, then unsets TZ again.
double ReadIn(const char* zone) {
  ::setenv("TZ", zone, 1);
  ::tzset();
  double seconds = PosixClock().SecondsSinceMidnight();
  ::unsetenv("TZ");
  ::tzset();
  return seconds;
}

// How far `b` is ahead of `a` on a count that restarts at midnight.
double AheadOnTheDay(double a, double b) {
  return std::fmod(b - a + 2 * kDay, kDay);
}

// From local midnight of the real-time clock, in fractions of a second.
TEST(PosixClockTest, CountsFromLocalMidnightOfTheRealTimeClock) {
  std::time_t now = std::time(nullptr);
  double utc_expected = static_cast<double>(now % 86400);

  double utc = ReadIn("UTC0");
  double five_hours_east = ReadIn("EST-5");

  EXPECT_GE(utc, 0.0);
  EXPECT_LT(utc, kDay);
  double apart = AheadOnTheDay(utc_expected, utc);
  EXPECT_TRUE(apart < 60.0 || apart > kDay - 60.0) << apart;
  EXPECT_NEAR(AheadOnTheDay(utc, five_hours_east), 5 * 3600.0, 60.0);

  bool saw_fraction = false;
  for (int i = 0; i < 20 && !saw_fraction; ++i) {
    double seconds = PosixClock().SecondsSinceMidnight();
    saw_fraction = seconds != std::floor(seconds);
  }
  EXPECT_TRUE(saw_fraction);
}

}  // namespace
}  // namespace zindo

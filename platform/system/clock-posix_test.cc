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

// Up for a wait that must not end before its deadline, down for one that
// must not last longer than asked; a whole second carries over.
TEST(ToTimespecTest, RoundsToTheNanosecondTheWayAsked) {
  struct Case {
    double seconds;
    Rounding rounding;
    time_t whole;
    long nanoseconds;
  };
  const Case cases[] = {
      {1.5, Rounding::kDown, 1, 500'000'000},
      {1.5, Rounding::kUp, 1, 500'000'000},
      {4e-10, Rounding::kDown, 0, 0},
      {4e-10, Rounding::kUp, 0, 1},
      {2.9999999996, Rounding::kDown, 2, 999'999'999},
      {2.9999999996, Rounding::kUp, 3, 0},
      {-1.0, Rounding::kUp, 0, 0},
      {std::nan(""), Rounding::kUp, 0, 0},
      {1e12, Rounding::kDown, 1'000'000'000, 0},
  };
  for (const Case& c : cases) {
    const timespec time = ToTimespec(c.seconds, c.rounding);
    EXPECT_EQ(time.tv_sec, c.whole) << c.seconds;
    EXPECT_EQ(time.tv_nsec, c.nanoseconds) << c.seconds;
  }
}

}  // namespace
}  // namespace zindo

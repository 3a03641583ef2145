#include "platform/system/clock-posix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace zindo {
namespace {

double ClockSeconds(clockid_t clock) {
  timespec now;
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

}  // namespace

double PosixClock::SecondsSinceMidnight() {
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local;
  ::localtime_r(&now.tv_sec, &local);
  // A leap second (tm_sec 60) is held at the last second of the day.
  int second = local.tm_sec < 60 ? local.tm_sec : 59;
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + second +
         now.tv_nsec / 1e9;
}

double PosixClock::MonotonicSeconds() { return MonotonicNow(); }

double MonotonicNow() { return ClockSeconds(CLOCK_MONOTONIC); }

double ThreadProcessorSeconds() {
  return ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
}

timespec ToTimespec(double seconds, Rounding rounding) {
  // Beyond 30 years the count of nanoseconds would leave int64_t.
  const double nanoseconds = (seconds > 0 ? std::min(seconds, 1e9) : 0) * 1e9;
  const auto whole = static_cast<std::int64_t>(rounding == Rounding::kUp
                                                   ? std::ceil(nanoseconds)
                                                   : std::floor(nanoseconds));
  return {static_cast<time_t>(whole / 1'000'000'000),
          static_cast<long>(whole % 1'000'000'000)};
}

double PosixClock::ReadingStepSeconds() {
  timespec resolution;
  if (::clock_getres(CLOCK_REALTIME, &resolution) != 0) return 0.001;
  return static_cast<double>(resolution.tv_sec) + resolution.tv_nsec / 1e9;
}

std::string LocalTimeOfDay() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour,
                local.tm_min, local.tm_sec, now.tv_nsec / 1'000'000);
  return text;
}

std::string LocalDateAndTime() {
  const std::time_t now = std::time(nullptr);
  tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace zindo

#ifndef ZINDO_PLATFORM_SYSTEM_CLOCK_POSIX_H_
#define ZINDO_PLATFORM_SYSTEM_CLOCK_POSIX_H_

#include <ctime>

#include "platform/system/clock.h"

namespace zindo {

// The processor time this thread has used, in seconds.
double ThreadProcessorSeconds();

// Which way a time is rounded to whole nanoseconds: up for a wait that must
// not end before its deadline, down for one that must not last longer than
// asked.
enum class Rounding { kDown, kUp };

// `seconds` as a timespec for ppoll and the like, rounded as `rounding`
// says; less than nothing is nothing.
timespec ToTimespec(double seconds, Rounding rounding);

// The real-time clock in the local time zone (TZ), so that the count
// restarts at local midnight as the companion program's clock does.
class PosixClock : public Clock {
 public:
  double SecondsSinceMidnight() override;
  double MonotonicSeconds() override;
  double ReadingStepSeconds() override;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_CLOCK_POSIX_H_

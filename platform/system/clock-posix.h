#ifndef ZINDO_PLATFORM_SYSTEM_CLOCK_POSIX_H_
#define ZINDO_PLATFORM_SYSTEM_CLOCK_POSIX_H_

#include <ctime>

#include "platform/system/clock.h"

namespace zindo {

// The real-time clock in the local time zone (TZ), so that the count
// restarts at local midnight as the companion program's clock does.
// The reading of the system clock `clock` in seconds.
double ClockSeconds(clockid_t clock);

class PosixClock : public Clock {
 public:
  double SecondsSinceMidnight() override;
  double MonotonicSeconds() override;
  double ReadingStepSeconds() override;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_CLOCK_POSIX_H_

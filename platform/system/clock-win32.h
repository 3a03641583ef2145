#ifndef ZINDO_PLATFORM_SYSTEM_CLOCK_WIN32_H_
#define ZINDO_PLATFORM_SYSTEM_CLOCK_WIN32_H_

#include "platform/system/clock.h"

namespace zindo {

// The system clock in local time, to the millisecond, as the companion
// program reads it: the count restarts at local midnight.
class Win32Clock : public Clock {
 public:
  double SecondsSinceMidnight() override;
  // QueryPerformanceCounter.
  double MonotonicSeconds() override;
  // The system timer's tick, by which local time moves.
  double ReadingStepSeconds() override;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_CLOCK_WIN32_H_

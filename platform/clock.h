#ifndef ZINDO_PLATFORM_CLOCK_H_
#define ZINDO_PLATFORM_CLOCK_H_

namespace zindo {

// The wall clock as the relay reads it.
class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since local midnight, from 0 up to just under 86400, with
  // millisecond resolution or better. Restarts at 0 at local midnight.
  virtual double SecondsSinceMidnight() = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_CLOCK_H_

#ifndef ZINDO_PLATFORM_SYSTEM_CLOCK_H_
#define ZINDO_PLATFORM_SYSTEM_CLOCK_H_

#include <string>

namespace zindo {

// The wall clock as the relay reads it, and a steady clock beside it.
class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since local midnight, from 0 up to just under 86400, with
  // millisecond resolution or better. Restarts at 0 at local midnight, and
  // steps when local time is set (the end of daylight saving time, a time
  // server's correction).
  virtual double SecondsSinceMidnight() = 0;

  // Seconds from an arbitrary start, moving at the pace of real time and
  // never stepping: waits are bounded by it as well, so that a step of
  // local time cannot stretch them.
  virtual double MonotonicSeconds() = 0;

  // How long SecondsSinceMidnight may keep a reading while time passes.
  virtual double ReadingStepSeconds() = 0;
};

// The system's monotonic clock in seconds, as Clock::MonotonicSeconds reads
// it: for the services' own waits and for the tools, which have no Clock
// handed to them. The relay's logic reads Clock, which the fakes drive.
double MonotonicNow();

// "HH:MM:SS.mmm" of the local time now, as trace and log lines begin: a
// label for people reading them, never a measure of time.
std::string LocalTimeOfDay();

// "YYYY-MM-DD HH:MM:SS" of the local date and time now, as the relay's log
// lines begin, so that a user can tell when a failure happened.
std::string LocalDateAndTime();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_CLOCK_H_

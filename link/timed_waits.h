#ifndef ZINDO_LINK_TIMED_WAITS_H_
#define ZINDO_LINK_TIMED_WAITS_H_

#include "platform/system/clock.h"
#include "platform/system/event_pump.h"

namespace zindo {

// A moment that a wait runs until: by the local clock, in single precision
// as every deadline is compared, and by the monotonic clock as well, which
// ends the wait should local time step back. The monotonic bound lies just
// past the moment the local reading passes the deadline, so that without a
// step the local clock alone decides, reading for reading.
struct Deadline {
  float local;
  double monotonic;
};

// Every wait is a loop that looks at a clock of seconds since local
// midnight and yields to the platform between looks. These are the
// primitives every wait is built from, so that the numbers stay the same
// everywhere. A yield sleeps until the moment the next look can change the
// outcome, or until something the relay watches changes, and no longer.
class TimedWaits {
 public:
  // From this reading on, the midnight guard holds a wait back: 12 seconds
  // before the clock restarts at 0.
  static constexpr double kMidnightGuardStart = 86388.0;

  TimedWaits(Clock& clock, EventPump& events)
      : clock_(clock), events_(events) {}

  // Seconds since local midnight, in single precision as every deadline is.
  float Now();

  // One round of the platform's event processing. Does not wait.
  void Yield();

  // One round of a polling loop: processes events and sleeps until something
  // the relay watches changes, however long that takes.
  void WaitForActivity();

  // The deadline `seconds` after the clock's reading now.
  Deadline DeadlineIn(float seconds);

  // Whether the clock reads `deadline` or later, or local time has stepped
  // back and the deadline has passed by the monotonic clock.
  bool Reached(const Deadline& deadline);

  // Holds on while the clock reads 86388 or more, so that a wait started
  // afterwards ends before the clock restarts.
  void MidnightGuard();

  // Waits until the clock reads strictly more than its reading now plus
  // `seconds`. Not guarded against midnight: callers guard it first.
  void Pause(float seconds);

  // The midnight guard, then Pause(seconds).
  void GuardedPause(float seconds);

 private:
  Clock& clock_;
  EventPump& events_;
};

}  // namespace zindo

#endif  // ZINDO_LINK_TIMED_WAITS_H_

#ifndef ZINDO_LINK_TIMED_WAITS_H_
#define ZINDO_LINK_TIMED_WAITS_H_

#include "platform/system/clock.h"
#include "platform/system/event_pump.h"

namespace zindo {

// A moment that a wait runs until. The wait lasts its length on the
// monotonic clock, whatever local time does: a step of local time (the end of
// daylight saving time, a manual change, a time server's correction) neither
// shortens nor stretches it. Without a step the local clock, compared in
// single precision, decides reading for reading, within `margin` of the
// moment `monotonic` that the wait's exact length ends.
struct Deadline {
  float local;
  double monotonic;
  double margin;  // one step of single precision and of the clock's reading
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

  // Waits until something the relay watches changes or `deadline` is
  // reached by the monotonic clock, whichever comes first.
  void WaitForActivityUntil(const Deadline& deadline);

  // Seconds on the monotonic clock, to tell how long something took.
  double MonotonicSeconds() { return clock_.MonotonicSeconds(); }

  // The deadline `seconds` after the clock's reading now.
  Deadline DeadlineIn(float seconds);

  // Whether the clock reads `deadline` or later while the wait has lasted
  // its length by the monotonic clock, or the monotonic clock has passed it
  // whatever local time reads.
  bool Reached(const Deadline& deadline);

  // Holds on while the clock reads 86388 or more, so that a wait started
  // afterwards ends before the clock restarts.
  void MidnightGuard();

  // Waits until the clock reads strictly more than its reading now plus
  // `seconds`, and as long as that takes by the monotonic clock. Not guarded
  // against midnight: callers guard it first.
  void Pause(float seconds);

  // The midnight guard, then Pause(seconds).
  void GuardedPause(float seconds);

 private:
  Clock& clock_;
  EventPump& events_;
};

}  // namespace zindo

#endif  // ZINDO_LINK_TIMED_WAITS_H_

#ifndef ZINDO_CORE_TIMED_WAITS_H_
#define ZINDO_CORE_TIMED_WAITS_H_

#include "platform/clock.h"
#include "platform/event_pump.h"

namespace zindo {

// The relay never sleeps: every wait is a loop that looks at a clock of
// seconds since local midnight and yields to the platform between looks.
// These are the primitives every wait is built from, so that the numbers
// stay the same everywhere.
class TimedWaits {
 public:
  // From this reading on, the midnight guard holds a wait back: 12 seconds
  // before the clock restarts at 0.
  static constexpr double kMidnightGuardStart = 86388.0;
  // How long a polling round may block when nothing changes. Activity cuts
  // it short, so this bounds only how often an idle relay wakes up.
  static constexpr double kIdleWaitSeconds = 0.05;

  TimedWaits(Clock& clock, EventPump& events)
      : clock_(clock), events_(events) {}

  // Seconds since local midnight, in single precision as every deadline is.
  float Now();

  // One round of the platform's event processing. Does not wait.
  void Yield();

  // One round of a polling loop: processes events and lets the system run
  // until something the relay watches changes, for at most a short while.
  void WaitForActivity();

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

#endif  // ZINDO_CORE_TIMED_WAITS_H_

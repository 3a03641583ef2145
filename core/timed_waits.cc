#include "core/timed_waits.h"

#include <algorithm>

namespace zindo {

namespace {

// A pause asks to be woken this much after its deadline: the clock is read
// in single precision, so a wake-up right at the deadline may still read
// equal to it.
constexpr double kPauseSlackSeconds = 0.0005;

// How long one round of a pause or of the midnight guard may block. The
// clock can be set or jump (daylight saving, time synchronisation), so no
// round trusts a long computed wait.
constexpr double kTimedRoundSeconds = 0.05;

}  // namespace

float TimedWaits::Now() {
  return static_cast<float>(clock_.SecondsSinceMidnight());
}

void TimedWaits::Yield() { events_.Yield(0.0, WakeOn::kActivity); }

void TimedWaits::WaitForActivity() {
  events_.Yield(kIdleWaitSeconds, WakeOn::kActivity);
}

void TimedWaits::MidnightGuard() {
  while (static_cast<double>(Now()) >= kMidnightGuardStart) {
    events_.Yield(kTimedRoundSeconds, WakeOn::kTimeOnly);
  }
}

void TimedWaits::Pause(float seconds) {
  const float deadline = Now() + seconds;
  for (float now = Now(); now <= deadline; now = Now()) {
    double remaining = static_cast<double>(deadline) - now;
    events_.Yield(std::min(remaining + kPauseSlackSeconds, kTimedRoundSeconds),
                  WakeOn::kTimeOnly);
  }
}

void TimedWaits::GuardedPause(float seconds) {
  MidnightGuard();
  Pause(seconds);
}

}  // namespace zindo

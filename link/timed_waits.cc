#include "link/timed_waits.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zindo {

namespace {

// A pause asks to be woken this much after its deadline, or half a step of
// the single-precision clock when that is less: the reading passes the
// deadline half a step after it. A reading may still equal the deadline
// then, and the pause waits as much again.
constexpr double kPauseSlackSeconds = 0.0005;

// Local midnight, where the clock restarts at 0.
constexpr double kMidnight = 86400.0;

// The distance from `reading` to the next single-precision value: how far
// the relay's clock moves in one step at that time of day.
double StepAt(float reading) {
  return static_cast<double>(
             std::nextafter(reading, std::numeric_limits<float>::infinity())) -
         reading;
}

}  // namespace

float TimedWaits::Now() {
  return static_cast<float>(clock_.SecondsSinceMidnight());
}

void TimedWaits::Yield() { events_.Yield(0.0, WakeOn::kActivity); }

void TimedWaits::WaitForActivity() {
  events_.Yield(std::numeric_limits<double>::infinity(), WakeOn::kActivity);
}

// The local reading passes `local` at most its distance from `now` plus one
// step of single precision after the reading `now` was taken, and the
// reading may lag the time by the clock's resolution.
Deadline TimedWaits::DeadlineIn(float seconds) {
  const float now = Now();
  const float local = now + seconds;
  const double span = static_cast<double>(local) - now + StepAt(local) +
                      clock_.ReadingStepSeconds();
  return {local, clock_.MonotonicSeconds() + span};
}

bool TimedWaits::Reached(const Deadline& deadline) {
  return Now() >= deadline.local ||
         clock_.MonotonicSeconds() >= deadline.monotonic;
}

// Without a step of local time the guard lasts until the clock restarts at
// 0; the monotonic clock holds it to that however local time moves.
void TimedWaits::MidnightGuard() {
  float now = Now();
  if (static_cast<double>(now) < kMidnightGuardStart) return;
  const double until = clock_.MonotonicSeconds() + (kMidnight - now) +
                       StepAt(now) + clock_.ReadingStepSeconds();
  for (; static_cast<double>(now) >= kMidnightGuardStart; now = Now()) {
    const double left = until - clock_.MonotonicSeconds();
    if (!(left > 0)) return;
    events_.Yield(std::min(kMidnight - now + kPauseSlackSeconds, left),
                  WakeOn::kTimeOnly);
  }
}

void TimedWaits::Pause(float seconds) {
  const Deadline deadline = DeadlineIn(seconds);
  for (float now = Now(); now <= deadline.local; now = Now()) {
    const double left = deadline.monotonic - clock_.MonotonicSeconds();
    if (!(left > 0)) return;  // local time has stepped back
    const double to_deadline = static_cast<double>(deadline.local) - now;
    const double slack =
        std::min(kPauseSlackSeconds, StepAt(deadline.local) / 2);
    events_.Yield(std::min(to_deadline + slack, left), WakeOn::kTimeOnly);
  }
}

void TimedWaits::GuardedPause(float seconds) {
  MidnightGuard();
  Pause(seconds);
}

}  // namespace zindo

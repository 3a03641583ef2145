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

void TimedWaits::WaitForActivityUntil(const Deadline& deadline) {
  const double left =
      deadline.monotonic + deadline.margin - clock_.MonotonicSeconds();
  if (left > 0) events_.Yield(left, WakeOn::kActivity);
}

// Without a step, the local reading reaches `local` within one step of
// single precision and the clock's resolution of the moment its exact
// distance from `now` has gone by: the monotonic clock bounds it there.
Deadline TimedWaits::DeadlineIn(float seconds) {
  const float now = Now();
  const float local = now + seconds;
  const double span = static_cast<double>(local) - now;
  return {local, clock_.MonotonicSeconds() + span,
          StepAt(local) + clock_.ReadingStepSeconds()};
}

bool TimedWaits::Reached(const Deadline& deadline) {
  const bool local_reached = Now() >= deadline.local;
  const double monotonic = clock_.MonotonicSeconds();
  return monotonic >= deadline.monotonic + deadline.margin ||
         (local_reached && monotonic >= deadline.monotonic - deadline.margin);
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

// Without a step, the local reading passes the deadline strictly only once
// its exact distance has gone by: a pause whose local reading has passed
// earlier than that was stepped forward, and waits out the rest.
void TimedWaits::Pause(float seconds) {
  const Deadline deadline = DeadlineIn(seconds);
  const double latest = deadline.monotonic + deadline.margin;
  const double earliest = deadline.monotonic - clock_.ReadingStepSeconds();
  for (;;) {
    const float now = Now();
    const double monotonic = clock_.MonotonicSeconds();
    if (monotonic >= latest) return;  // local time stepped back
    double wait;
    if (now > deadline.local) {
      if (monotonic >= earliest) return;
      wait = earliest - monotonic;
    } else {
      const double slack =
          std::min(kPauseSlackSeconds, StepAt(deadline.local) / 2);
      wait = std::min(static_cast<double>(deadline.local) - now + slack,
                      latest - monotonic);
    }
    events_.Yield(wait, WakeOn::kTimeOnly);
  }
}

void TimedWaits::GuardedPause(float seconds) {
  MidnightGuard();
  Pause(seconds);
}

}  // namespace zindo

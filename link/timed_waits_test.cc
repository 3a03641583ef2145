#include "link/timed_waits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

class TimedWaitsTest : public ::testing::Test {
 protected:
  FakeClock clock_;
  FakeEventPump events_{clock_};
  TimedWaits waits_{clock_, events_};
};

TEST_F(TimedWaitsTest, GuardLetsThroughJustBeforeItsStart) {
  clock_.Set(86387.9);
  waits_.MidnightGuard();
  EXPECT_EQ(events_.yields(), 0);
  waits_.Pause(2.0f);
  // Ends at the first reading past 86389.9, well before midnight.
  EXPECT_GT(static_cast<float>(clock_.now()), 86387.9f + 2.0f);
  EXPECT_LT(clock_.now(), 86390.0);
}

TEST_F(TimedWaitsTest, GuardHoldsAtItsStartUntilTheClockRestarts) {
  for (double start : {86388.0, 86395.0, 86399.99}) {
    clock_.Set(start);
    waits_.GuardedPause(2.0f);
    // The whole pause runs after midnight: 2 s from the first reading
    // below the guard.
    EXPECT_GT(clock_.now(), 2.0) << start;
    EXPECT_LT(clock_.now(), 2.0 + 0.05) << start;
  }
}

TEST(PauseTest, NeverEndsOnAReadingEqualToTheDeadline) {
  // The deadline is 100.5; two readings equal to it, then one past it.
  ScriptedClock clock({100.0, 100.5, 100.5, 100.75});
  CountingEventPump events;
  TimedWaits(clock, events).Pause(0.5f);
  EXPECT_EQ(events.yields(), 2);
  EXPECT_EQ(clock.unread(), 0u);
}

TEST_F(TimedWaitsTest, PauseEndsAtTheFirstReadingPastTheDeadline) {
  clock_.Set(1000.0);
  events_.set_tick(0.001);
  waits_.Pause(0.3f);
  EXPECT_GT(clock_.now(), 1000.3);
  EXPECT_LE(clock_.now(), 1000.3 + 0.002);
}

TEST_F(TimedWaitsTest, LateInTheDayThePauseFollowsSinglePrecision) {
  // Near 86000 s a single-precision reading moves in steps of 1/128 s: the
  // pause ends at the first such step past the deadline, not earlier.
  clock_.Set(86000.0);
  events_.set_tick(0.001);
  const float deadline = 86000.0f + 0.3f;
  waits_.Pause(0.3f);
  EXPECT_GT(static_cast<float>(clock_.now()), deadline);
  EXPECT_LE(clock_.now(), static_cast<double>(deadline) + 1.0 / 128 + 0.002);
}

TEST_F(TimedWaitsTest, PausesWaitOnTimeOnlyAndPollingWaitsOnActivity) {
  waits_.Pause(0.1f);
  EXPECT_EQ(events_.time_only_yields(), events_.yields());
  long before = events_.yields();
  waits_.WaitForActivity();
  waits_.Yield();
  EXPECT_EQ(events_.yields(), before + 2);
  EXPECT_EQ(events_.time_only_yields(), before);
}

TEST(WaitForActivityTest, PlainYieldDoesNotWaitAndIdleWaitsHaveNoLimit) {
  FakeClock clock;
  CountingEventPump events;
  TimedWaits waits(clock, events);
  waits.Yield();
  EXPECT_EQ(events.last_wait(), 0.0);
  waits.WaitForActivity();
  EXPECT_TRUE(std::isinf(events.last_wait()));
}

// Local time steps while a wait runs: forward, back within the day, and back
// across midnight (the 6 s deadline starts 600 s after it). Measured on the
// monotonic clock, every timed wait lasts as long as the same wait without
// the step, give or take one step of the single-precision clock for each
// pause it takes (late in the day a pause ends up to 1/128 s after its
// deadline) and one yield of the fake pump. Only the midnight guard follows
// local time, so a step may end it early, but never hold it longer.
TEST(ClockStepTest, NoStepOfLocalTimeShortensOrStretchesAWait) {
  struct Wait {
    const char* name;
    double starts_at;
    bool follows_local_time;
    int pauses;
    std::function<void(TimedWaits&)> run;
  };
  const Wait kinds[] = {
      {"pause 0.3 s", 36000.0, false, 1, [](TimedWaits& w) { w.Pause(0.3f); }},
      {"guarded 2 s", 50000.0, false, 1,
       [](TimedWaits& w) { w.GuardedPause(2.0f); }},
      {"6 s deadline, 0.3 s samples", 600.0, false, 21,
       [](TimedWaits& w) {
         w.MidnightGuard();
         const Deadline deadline = w.DeadlineIn(6.0f);
         while (!w.Reached(deadline)) w.Pause(0.3f);
       }},
      {"midnight guard", 86390.0, true, 1,
       [](TimedWaits& w) { w.MidnightGuard(); }},
  };
  const double steps[] = {-3600.0, -1.0, -0.01, +0.01, +1.0, +3600.0};
  constexpr double kTick = 0.001;
  // The step of a single-precision reading from 65536 s to midnight.
  constexpr double kCoarsestStep = 1.0 / 128;

  for (const Wait& wait : kinds) {
    const auto duration = [&](std::optional<double> step) {
      FakeClock clock;
      FakeEventPump events(clock);
      events.set_tick(kTick);
      clock.Set(wait.starts_at);
      if (step) {
        events.After(0.2, [&clock, step] {
          clock.Set(std::fmod(clock.now() + *step + 86400.0, 86400.0));
        });
      }
      TimedWaits timed(clock, events);
      const double began = clock.monotonic();
      wait.run(timed);
      return clock.monotonic() - began;
    };
    const double unstepped = duration(std::nullopt);
    const double allowance = wait.pauses * kCoarsestStep + kTick;
    for (double step : steps) {
      const double stepped = duration(step);
      EXPECT_LE(stepped, unstepped + allowance)
          << wait.name << ", local time stepped by " << step << " s";
      if (wait.follows_local_time) continue;
      EXPECT_GE(stepped, unstepped - allowance)
          << wait.name << ", local time stepped by " << step << " s";
    }
  }
}

}  // namespace
}  // namespace zindo

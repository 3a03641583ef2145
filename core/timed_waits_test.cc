#include "core/timed_waits.h"

#include <gtest/gtest.h>

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

// Hands out a fixed sequence of readings.
class ScriptedClock : public Clock {
 public:
  explicit ScriptedClock(std::vector<double> readings)
      : readings_(std::move(readings)) {}
  double SecondsSinceMidnight() override { return readings_.at(next_++); }
  size_t unread() const { return readings_.size() - next_; }

 private:
  std::vector<double> readings_;
  size_t next_ = 0;
};

class CountingPump : public EventPump {
 public:
  void Yield(double, WakeOn) override { ++yields; }
  int yields = 0;
};

TEST(PauseTest, NeverEndsOnAReadingEqualToTheDeadline) {
  // The deadline is 100.5; two readings equal to it, then one past it.
  ScriptedClock clock({100.0, 100.5, 100.5, 100.75});
  CountingPump events;
  TimedWaits(clock, events).Pause(0.5f);
  EXPECT_EQ(events.yields, 2);
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

TEST_F(TimedWaitsTest, PlainYieldDoesNotWait) {
  double start = clock_.now();
  waits_.Yield();
  EXPECT_EQ(clock_.now(), start);
  waits_.WaitForActivity();
  EXPECT_GT(clock_.now(), start);
  EXPECT_LE(clock_.now(), start + TimedWaits::kIdleWaitSeconds);
}

}  // namespace
}  // namespace zindo

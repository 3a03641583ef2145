#ifndef ZINDO_PLATFORM_FAKE_FAKE_CLOCK_H_
#define ZINDO_PLATFORM_FAKE_FAKE_CLOCK_H_

// Clocks and event pumps that move only when a test or the relay says.

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system/clock.h"
#include "platform/system/event_pump.h"

namespace zindo {

// Readings are exact. Set steps local time only, as setting the system's
// time does; Advance moves local and monotonic time together.
class FakeClock : public Clock {
 public:
  double SecondsSinceMidnight() override { return now_; }
  double MonotonicSeconds() override { return monotonic_; }
  double ReadingStepSeconds() override { return 0.0; }
  double now() const { return now_; }
  double monotonic() const { return monotonic_; }
  void Set(double seconds) { now_ = seconds; }
  // Moves the clock on, restarting at 0 at midnight.
  void Advance(double seconds);

 private:
  double now_ = 36000.0;
  double monotonic_ = 1000.0;
};

// Each yield moves the fake clock on by its time limit, but by no more than
// `tick`, then runs every scheduled action whose time has come.
class FakeEventPump : public EventPump {
 public:
  explicit FakeEventPump(FakeClock& clock) : clock_(clock) {}
  void Yield(double max_wait_seconds, WakeOn wake_on) override;

  // Runs `action` at the first yield at which `seconds` of fake time have
  // passed since it was scheduled.
  void After(double seconds, std::function<void()> action);
  void set_tick(double seconds) { tick_ = seconds; }
  // From now on every yield throws StopRequested{reason}, as a signal makes
  // the real pump do.
  void RequestStop(const std::string& reason) { stop_reason_ = reason; }
  long yields() const { return yields_; }
  long time_only_yields() const { return time_only_yields_; }

 private:
  struct Scheduled {
    double remaining;
    std::function<void()> action;
  };
  FakeClock& clock_;
  double tick_ = 0.01;
  long yields_ = 0;
  long time_only_yields_ = 0;
  // A relay that yields this often without ending is stuck: Yield throws.
  static constexpr long kYieldLimit = 10'000'000;
  std::vector<Scheduled> scheduled_;
  std::string stop_reason_;
};

// Hands out a fixed sequence of local readings, for waits that must be
// driven reading by reading; reading past the end throws. The monotonic
// clock reads as the last local reading handed out (the first before any),
// as it would while local time does not step.
class ScriptedClock : public Clock {
 public:
  explicit ScriptedClock(std::vector<double> readings)
      : readings_(std::move(readings)) {}
  double SecondsSinceMidnight() override { return readings_.at(next_++); }
  double MonotonicSeconds() override {
    return readings_.at(next_ == 0 ? 0 : next_ - 1);
  }
  double ReadingStepSeconds() override { return 0.0; }
  size_t unread() const { return readings_.size() - next_; }

 private:
  std::vector<double> readings_;
  size_t next_ = 0;
};

// A pump that moves no clock: it counts the yields and keeps the time limit
// of the last one.
class CountingEventPump : public EventPump {
 public:
  void Yield(double max_wait_seconds, WakeOn) override {
    ++yields_;
    last_wait_ = max_wait_seconds;
  }
  int yields() const { return yields_; }
  double last_wait() const { return last_wait_; }

 private:
  int yields_ = 0;
  double last_wait_ = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_CLOCK_H_

#include "platform/fake/fake_clock.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/error.h"
#include "platform/system/stop_request.h"

namespace zindo {

void FakeClock::Advance(double seconds) {
  now_ = std::fmod(now_ + seconds, 86400.0);
  monotonic_ += seconds;
}

void FakeEventPump::Yield(double max_wait_seconds, WakeOn wake_on) {
  if (++yields_ > kYieldLimit) throw Error("fake event pump: yield limit");
  if (wake_on == WakeOn::kTimeOnly) ++time_only_yields_;
  double step = std::clamp(max_wait_seconds, 0.0, tick_);
  clock_.Advance(step);
  std::vector<Scheduled> due;
  for (auto it = scheduled_.begin(); it != scheduled_.end();) {
    it->remaining -= step;
    if (it->remaining <= 1e-9) {
      due.push_back(std::move(*it));
      it = scheduled_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& scheduled : due) scheduled.action();
  if (!stop_reason_.empty()) throw StopRequested{stop_reason_};
}

void FakeEventPump::After(double seconds, std::function<void()> action) {
  scheduled_.push_back({seconds, std::move(action)});
}

}  // namespace zindo

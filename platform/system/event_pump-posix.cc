#include "platform/system/event_pump-posix.h"

#include <cmath>
#include <ctime>
#include <utility>

#include "platform/system/clock-posix.h"

namespace zindo {
namespace {

// Longer waits are cut to a day: one with nothing to watch never lasts
// forever.
constexpr double kLongestWaitSeconds = 86400.0;

}  // namespace

PosixEventPump::PosixEventPump(std::shared_ptr<DirectoryMonitor> directories,
                               int directory_events,
                               std::shared_ptr<const WatchList> watch_list,
                               const StopSignals* stop)
    : directories_(std::move(directories)),
      directory_events_(directory_events),
      watch_list_(std::move(watch_list)),
      stop_(stop) {}

// A yield that waits on time only looks at nothing else: pauses must not
// spin while bytes wait unread in the port. Directory events that come
// meanwhile stay queued, and the next yield that waits for activity sees
// them.
void PosixEventPump::Yield(double max_wait_seconds, WakeOn wake_on) {
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  if (!(max_wait_seconds > 0)) return;
  if (wake_on == WakeOn::kActivity) {
    WaitForActivity(max_wait_seconds);
  } else {
    Wait(max_wait_seconds, WakeOn::kTimeOnly);
  }
  if (stop_ != nullptr) stop_->ThrowIfRequested();
}

// Returns on the first change since the last such wait returned, whether
// the relay has looked at it meanwhile or not: a change that came while
// the relay was busy elsewhere must not be slept through.
void PosixEventPump::WaitForActivity(double max_wait_seconds) {
  const double until = MonotonicNow() + max_wait_seconds;
  for (;;) {
    directories_->Refresh();
    if (directories_->TakeChange()) return;
    const double left = until - MonotonicNow();
    if (!(left > 0)) return;
    const double wait =
        std::fmin(left, directories_->SecondsUntilNextListing());
    if (Wait(wait, WakeOn::kActivity)) return;
  }
}

// Every wait watches the stop signals; a wait for activity also watches the
// directory events and the open ports.
bool PosixEventPump::Wait(double seconds, WakeOn wake_on) {
  watched_.clear();
  if (stop_ != nullptr) watched_.push_back({stop_->fd(), POLLIN, 0});
  if (wake_on == WakeOn::kActivity) {
    if (directory_events_ >= 0) {
      watched_.push_back({directory_events_, POLLIN, 0});
    }
    for (const WatchedPort& port : watch_list_->serial_ports()) {
      watched_.push_back({port.fd, POLLIN, 0});
    }
    // Bytes a port has already taken in would not wake the poll.
    if (watch_list_->AnyUnread()) return true;
  }
  // Rounded down: a yield never lasts longer than asked.
  const timespec timeout =
      ToTimespec(std::fmin(seconds, kLongestWaitSeconds), Rounding::kDown);
  const bool forever = std::isinf(seconds) && !watched_.empty();
  // An interrupted wait just returns early, which the caller allows.
  if (::ppoll(watched_.data(), watched_.size(), forever ? nullptr : &timeout,
              nullptr) <= 0) {
    return false;
  }
  if (stop_ != nullptr && watched_[0].revents != 0) stop_->Drain();
  for (const pollfd& entry : watched_) {
    if (entry.fd != directory_events_ && entry.revents != 0) return true;
  }
  return false;
}

}  // namespace zindo

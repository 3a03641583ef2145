#include "platform/event_pump-posix.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <utility>
#include <vector>

namespace zindo {
namespace {

constexpr std::uint32_t kDirectoryChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE;

// Longer waits are cut to this, which keeps the seconds within time_t.
constexpr double kLongestWaitSeconds = 86400.0;

timespec ToTimespec(double seconds) {
  double whole = std::floor(seconds);
  timespec time;
  time.tv_sec = static_cast<time_t>(whole);
  time.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
  if (time.tv_nsec > 999'999'999) time.tv_nsec = 999'999'999;
  return time;
}

UniqueFd WatchDirectory(const std::string& directory) {
  UniqueFd events(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (events.valid() && ::inotify_add_watch(events.get(), directory.c_str(),
                                            kDirectoryChanges) < 0) {
    events.Close();
  }
  return events;
}

}  // namespace

PosixEventPump::PosixEventPump(const std::string& working_directory,
                               std::shared_ptr<const WatchList> watch_list,
                               const StopSignals* stop)
    : directory_events_(WatchDirectory(working_directory)),
      watch_list_(std::move(watch_list)),
      stop_(stop) {}

// Events stay queued until a yield that watches for them: a change that
// came after the relay last looked, even during a pause, must cut the next
// wait short. Once a wait has returned they are drained, so that the
// following wait does not return at once for the same change.
void PosixEventPump::Yield(double max_wait_seconds, WakeOn wake_on) {
  bool watching = wake_on == WakeOn::kActivity;
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  if (max_wait_seconds > 0) {
    std::vector<pollfd> watched;
    if (stop_ != nullptr) watched.push_back({stop_->fd(), POLLIN, 0});
    if (watching && directory_events_.valid()) {
      watched.push_back({directory_events_.get(), POLLIN, 0});
    }
    if (watching) {
      for (int port : watch_list_->serial_ports()) {
        watched.push_back({port, POLLIN, 0});
      }
    }
    timespec timeout =
        ToTimespec(std::fmin(max_wait_seconds, kLongestWaitSeconds));
    // An interrupted wait just returns early, which the caller allows.
    ::ppoll(watched.data(), watched.size(), &timeout, nullptr);
    if (stop_ != nullptr && watched[0].revents != 0) stop_->Drain();
  }
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  if (watching) DrainDirectoryEvents();
}

void PosixEventPump::DrainDirectoryEvents() {
  if (!directory_events_.valid()) return;
  alignas(inotify_event) char buffer[4096];
  while (::read(directory_events_.get(), buffer, sizeof buffer) > 0) {
  }
}

}  // namespace zindo

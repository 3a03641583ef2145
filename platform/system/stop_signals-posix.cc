#include "platform/system/stop_signals-posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "platform/system/stop_request.h"

namespace zindo {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written only by the handler, and only while the descriptor is set.
volatile sig_atomic_t first_signal = 0;
volatile sig_atomic_t wake_fd = -1;
struct sigaction previous_actions[sizeof kStopSignals / sizeof(int)];

// Only async-signal-safe calls. A full pipe already wakes its reader, so a
// failed write loses nothing.
extern "C" void OnStopSignal(int signal_number) {
  const int saved_errno = errno;
  if (first_signal == 0) first_signal = signal_number;
  const char byte = 1;
  if (wake_fd >= 0 && ::write(wake_fd, &byte, 1) < 0) {
    // Full already: the reader wakes all the same.
  }
  errno = saved_errno;
}

const char* SignalName(int signal_number) {
  switch (signal_number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
  }
  return "a signal";
}

}  // namespace

StopSignals::StopSignals() {
  if (wake_fd >= 0) throw Error("catch stop signals: already caught");
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw SystemError("catch stop signals", errno);
  }
  wake_read_ = UniqueFd(ends[0]);
  wake_write_ = UniqueFd(ends[1]);
  first_signal = 0;
  wake_fd = wake_write_.get();
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  // Each holds the others off while it runs: signals that come together
  // are then handled in the order the kernel picks them, instead of the
  // last one's handler running first, on top of the others.
  ::sigemptyset(&action.sa_mask);
  for (int signal_number : kStopSignals) {
    ::sigaddset(&action.sa_mask, signal_number);
  }
  // No SA_RESTART: a blocking call (a read of the terminal) returns EINTR,
  // and the descriptor tells the waits apart from other interruptions.
  // A signal that was ignored when the relay started stays ignored: nohup
  // and a shell's background jobs ask for that (SIGHUP, SIGINT).
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], nullptr, &previous_actions[i]);
    if (previous_actions[i].sa_handler == SIG_IGN) continue;
    ::sigaction(kStopSignals[i], &action, nullptr);
  }
}

StopSignals::~StopSignals() {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &previous_actions[i], nullptr);
  }
  wake_fd = -1;
}

void StopSignals::Drain() const {
  char buffer[64];
  while (::read(wake_read_.get(), buffer, sizeof buffer) > 0) {
  }
}

bool StopSignals::requested() const { return first_signal != 0; }

void StopSignals::ThrowIfRequested() const {
  if (first_signal != 0) throw StopRequested{SignalName(first_signal)};
}

}  // namespace zindo

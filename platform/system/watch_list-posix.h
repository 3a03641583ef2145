#ifndef ZINDO_PLATFORM_SYSTEM_WATCH_LIST_POSIX_H_
#define ZINDO_PLATFORM_SYSTEM_WATCH_LIST_POSIX_H_

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace zindo {

// An open serial port as the event pump sees it: a descriptor that becomes
// readable when bytes arrive, and, for a port that takes bytes from it
// ahead of the reads (a network port), whether such bytes still wait.
struct WatchedPort {
  int fd = -1;
  std::function<bool()> has_unread;
};

// The open serial ports, shared between the ports that open them and the
// event pump that waits on them. The relay runs on one thread, so no
// locking is needed.
class WatchList {
 public:
  void AddSerialPort(int fd, std::function<bool()> has_unread = {}) {
    serial_ports_.push_back({fd, std::move(has_unread)});
  }

  void RemoveSerialPort(int fd) {
    std::erase_if(serial_ports_,
                  [fd](const WatchedPort& port) { return port.fd == fd; });
  }

  const std::vector<WatchedPort>& serial_ports() const { return serial_ports_; }

  // Whether a port holds bytes it has taken in and not yet handed out.
  bool AnyUnread() const {
    return std::any_of(serial_ports_.begin(), serial_ports_.end(),
                       [](const WatchedPort& port) {
                         return port.has_unread && port.has_unread();
                       });
  }

 private:
  std::vector<WatchedPort> serial_ports_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_WATCH_LIST_POSIX_H_

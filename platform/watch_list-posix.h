#ifndef ZINDO_PLATFORM_WATCH_LIST_POSIX_H_
#define ZINDO_PLATFORM_WATCH_LIST_POSIX_H_

#include <algorithm>
#include <vector>

namespace zindo {

// The descriptors of open serial ports, shared between the ports that open
// them and the event pump that waits on them. The relay runs on one thread,
// so no locking is needed.
class WatchList {
 public:
  void AddSerialPort(int fd) { serial_ports_.push_back(fd); }

  void RemoveSerialPort(int fd) {
    serial_ports_.erase(
        std::remove(serial_ports_.begin(), serial_ports_.end(), fd),
        serial_ports_.end());
  }

  const std::vector<int>& serial_ports() const { return serial_ports_; }

 private:
  std::vector<int> serial_ports_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_WATCH_LIST_POSIX_H_

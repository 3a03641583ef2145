#ifndef ZINDO_PLATFORM_SYSTEM_WATCH_LIST_WIN32_H_
#define ZINDO_PLATFORM_SYSTEM_WATCH_LIST_WIN32_H_

#include <algorithm>
#include <string>
#include <vector>

#include "base/dos_path.h"
#include "platform/windows-win32.h"

namespace zindo {

// How the event pump waits for bytes on an open serial port.
struct ReceiveWait {
  // Bytes already wait to be read: the pump returns at once.
  bool bytes_waiting = false;
  // Signalled when a byte arrives; null when the port cannot be watched,
  // and the pump then waits for the time only.
  HANDLE event = nullptr;
};

class ReceiveWatch {
 public:
  virtual ~ReceiveWatch() = default;

  // Gets ready to report the next byte received. Never fails.
  virtual ReceiveWait ArmReceiveWait() = 0;
};

// What the event pump waits for: the open serial ports, shared with the
// ports that open them, and the names looked up in the working directory,
// shared with the file system that looks them up. The relay runs on one
// thread, so no locking is needed.
class WatchList {
 public:
  // Changes to `name` (in any case) in the working directory wake the pump.
  void WatchName(const std::string& name) {
    std::string folded = AsciiLowerCase(name);
    if (!WatchesName(folded)) names_.push_back(std::move(folded));
  }

  bool WatchesName(const std::string& name) const {
    return std::find(names_.begin(), names_.end(), AsciiLowerCase(name)) !=
           names_.end();
  }

  void AddSerialPort(ReceiveWatch* port) { serial_ports_.push_back(port); }

  void RemoveSerialPort(ReceiveWatch* port) {
    serial_ports_.erase(
        std::remove(serial_ports_.begin(), serial_ports_.end(), port),
        serial_ports_.end());
  }

  const std::vector<ReceiveWatch*>& serial_ports() const {
    return serial_ports_;
  }

 private:
  std::vector<ReceiveWatch*> serial_ports_;
  std::vector<std::string> names_;  // folded
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_WATCH_LIST_WIN32_H_

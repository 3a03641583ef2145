#ifndef ZINDO_PLATFORM_WATCH_LIST_WIN32_H_
#define ZINDO_PLATFORM_WATCH_LIST_WIN32_H_

#include <algorithm>
#include <vector>

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

// The open serial ports, shared between the ports that open them and the
// event pump that waits on them. The relay runs on one thread, so no locking
// is needed.
class WatchList {
 public:
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
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_WATCH_LIST_WIN32_H_

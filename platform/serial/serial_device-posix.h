#ifndef ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_POSIX_H_
#define ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_POSIX_H_

#include <termios.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/serial_device.h"
#include "platform/system/watch_list-posix.h"

namespace zindo {

// Serial ports as Wine maps them: port N is the device that the link
// `<prefix>/dosdevices/comN` points to, or else the machine's Nth serial
// port. An open port is registered in `watch_list` so that the event pump
// can wait for its bytes.
class PosixSerialPorts : public SerialPorts {
 public:
  PosixSerialPorts(std::string prefix, std::shared_ptr<WatchList> watch_list);

  bool IsValidPortNumber(int port) override;
  std::unique_ptr<SerialDevice> Open(int port,
                                     const LineSettings& settings) override;
  // The ports the prefix's dosdevices links map to a device that is there,
  // or to a serial server: "COM3 (/dev/ttyUSB0)". Follows the links with
  // stat, never opening a device.
  std::vector<KnownPort> KnownPorts() override;

  // The native path that port `port` opens.
  std::string DevicePath(int port) const;

  // The serial server that port `port` names ("rfc2217://HOST:PORT" as its
  // link holds it), or "" when the port is a device.
  std::string ServerOf(int port) const;

 private:
  std::string prefix_;
  std::shared_ptr<WatchList> watch_list_;
};

// Makes `line` raw both ways with `settings`, without flow control, with
// reads that return at once. Settings must be ones Open accepts.
void MakeRawLine(const LineSettings& settings, termios& line);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_POSIX_H_

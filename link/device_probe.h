#ifndef ZINDO_LINK_DEVICE_PROBE_H_
#define ZINDO_LINK_DEVICE_PROBE_H_

#include <string>

#include "link/device_message.h"
#include "link/serial_port.h"
#include "link/timed_waits.h"

namespace zindo {

// The device's line: 19200 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr char kDeviceLineSettings[] = "19200,N,8,1";

// How long the device has to answer the probe packet: as long as the line
// recovery cycle gives it.
inline constexpr float kProbeAnswerSeconds = 2.0f;

// What the device made of the probe packet.
struct ProbeAnswer {
  enum class Kind {
    kAnswered,    // it sent something that is not an empty frame
    kEmptyFrame,  // its first byte is 0: the device is in its own error state
    kSilent,      // nothing came within kProbeAnswerSeconds
  };
  Kind kind = Kind::kSilent;
  std::string bytes;  // all that came within kProbeAnswerSeconds
  // How long after the probe went out its first byte was seen; negative
  // when nothing came.
  double first_byte_seconds = -1;
};

// Asks the device at the port `port` has selected, as the line recovery
// cycle does, and touches nothing else: opens the port at the device's line
// settings with RTS raised, lets the device settle kProbeAnswerSeconds,
// sends the probe packet of `packets`, waits kProbeAnswerSeconds (noting
// when the first byte comes), reads what came and closes the port again. Bytes
// that waited before the probe are no answer to it and are dropped. Throws
// Error when the port cannot be opened or used; the port is closed afterwards
// either way.
ProbeAnswer ProbeDevice(SerialPort& port, TimedWaits& waits,
                        const DevicePackets& packets);

}  // namespace zindo

#endif  // ZINDO_LINK_DEVICE_PROBE_H_

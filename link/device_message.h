#ifndef ZINDO_LINK_DEVICE_MESSAGE_H_
#define ZINDO_LINK_DEVICE_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace zindo {

// A device message, in both directions, is a byte string whose first byte is
// its length minus 2 and whose second byte is 0 in every message the relay
// builds; the body follows. Of a reply the relay looks only at the first
// byte and, to repair a short reply, at the 13th; everything else passes
// unexamined.

// The relay's two fixed messages, built once at start-up and never changed.
struct DevicePackets {
  // Sent to a device that has gone quiet, to wake it (18 bytes).
  std::string probe;
  // Never sent: every synthetic reply for the companion is a copy of it with
  // bytes 12 and 13 replaced (19 bytes).
  std::string reply_template;
};

DevicePackets BuildDevicePackets();

// The length a message announces: its first byte plus 2. `message` must not
// be empty.
std::size_t ExpectedLength(const std::string& message);

// A reply whose first byte is 0: the device has nothing to say and the line
// needs recovering.
bool IsEmptyFrame(const std::string& reply);

// A reply with fewer bytes than its first byte announces.
bool IsShortReply(const std::string& reply);

// What the companion is given in place of a reply it cannot use: the reply
// template with byte 12 set to 255 and byte 13 set to `kept`.
std::string SyntheticReply(const DevicePackets& packets, uint8_t kept);

// The synthetic reply that stands in for the short reply `reply`: it keeps
// the reply's 13th byte when the reply has one, and 255 otherwise.
std::string RepairShortReply(const DevicePackets& packets,
                             const std::string& reply);

}  // namespace zindo

#endif  // ZINDO_LINK_DEVICE_MESSAGE_H_

#ifndef ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_H_
#define ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/known_ports.h"

namespace zindo {

enum class Parity { kNone, kOdd, kEven, kMark, kSpace };

// Line settings of a serial port.
struct LineSettings {
  int baud = 19200;
  Parity parity = Parity::kNone;
  int data_bits = 8;
  int stop_bits = 1;

  bool operator==(const LineSettings&) const = default;
};

// An open serial port, held exclusively by this process. Closed, and released
// for others, when destroyed.
//
// Every method fails with Error once the device has gone (adapter unplugged,
// far end of a pseudo-terminal closed), naming the device and the cause, of
// kind ErrorKind::kGone where the system says so.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Raises or lowers RTS. Does nothing on a line without modem signals.
  virtual void SetRts(bool on) = 0;

  // Whether the carrier-detect signal is on; false on a line without modem
  // signals.
  virtual bool CarrierDetect() = 0;

  // How many received bytes wait to be read.
  virtual int BytesWaiting() = 0;

  // Everything received and not yet read, possibly nothing. Never blocks.
  virtual std::string ReadAll() = 0;

  // Sends all of `bytes`, unchanged.
  virtual void Write(const std::string& bytes) = 0;

  // Whether the line is reached through a serial server on the network, so
  // that the user can be told what to look at when it has gone: the server
  // and the network, not a cable or an adapter. Never fails.
  virtual bool OverNetwork() const { return false; }
};

// The machine's serial ports, by number (COM1 is 1).
class SerialPorts {
 public:
  virtual ~SerialPorts() = default;

  // Whether `port` names a port at all. A number refused here is refused when
  // it is selected, before any open is tried.
  virtual bool IsValidPortNumber(int port) = 0;

  // Opens port `port` exclusively with `settings`, raw, without flow control
  // and without blocking reads. Throws Error naming the device when it does
  // not exist (ErrorKind::kNotFound, saying NoSuchPortText of KnownPorts),
  // is held by another program (kBusy, saying kPortInUse), or cannot be
  // configured (with the system's error text).
  virtual std::unique_ptr<SerialDevice> Open(int port,
                                             const LineSettings& settings) = 0;

  // The ports this machine has, in the order of their numbers, as its user
  // knows them. Opens none of them.
  virtual std::vector<KnownPort> KnownPorts() = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_H_

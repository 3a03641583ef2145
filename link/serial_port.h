#ifndef ZINDO_LINK_SERIAL_PORT_H_
#define ZINDO_LINK_SERIAL_PORT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/error.h"
#include "platform/serial/serial_device.h"

namespace zindo {

// The relay's serial port, one for the whole run. It keeps the port number,
// the line settings and the signal choices across a close and a reopen, so
// that reopening needs nothing set again.
//
// Every property access may fail (no such port, port in use, port not open,
// device gone): it then throws Error naming the port and the cause. A device
// that goes away while the relay uses it (an adapter unplugged, a serial
// server gone) is said as that, before the system's words: "COM3: the
// device went away (adapter unplugged?): read ...", of kind
// ErrorKind::kGone; so is a port that has been open and is missing when it
// is opened again.
class SerialPort {
 public:
  explicit SerialPort(SerialPorts& ports) : ports_(ports) {}

  // Selects the port by number (1 is COM1). Refused for a number that names
  // no port, and while the port is open.
  void SetCommPort(int16_t port);
  int16_t CommPort() const { return port_; }

  // Line settings as "baud,parity,data bits,stop bits", e.g. "19200,N,8,1".
  // Refused when malformed; applied at the next open.
  void SetSettings(const std::string& settings);

  // How many bytes Input returns at most; 0 means everything waiting.
  void SetInputLen(int16_t length);

  // Opens (true) or closes (false) the selected port. Opening an open port is
  // refused; closing a closed one does nothing.
  void SetPortOpen(bool open);
  bool PortOpen() const { return device_ != nullptr; }

  // Raises or lowers RTS, now if the port is open and at every later open.
  void SetRTSEnable(bool enable);

  // Whether carrier detect is on. Needs an open port.
  bool CDHolding();

  // The receive threshold. Kept for its own sake: receiving is done by
  // polling, never by notification.
  void SetRThreshold(int16_t threshold);

  // Received bytes waiting to be read (at most 32767). Needs an open port.
  int16_t InBufferCount();

  // The waiting bytes, at most InputLen of them unless it is 0; they no
  // longer wait afterwards. Needs an open port.
  std::string Input();

  // Sends `bytes` unchanged. Needs an open port.
  void Output(const std::string& bytes);

 private:
  SerialDevice& OpenDevice(const char* property);
  template <typename Operation>
  auto OnDevice(const char* property, Operation operation);
  Error WentAway(const Error& error, bool over_network) const;
  std::string Name() const;

  SerialPorts& ports_;
  int16_t port_ = 1;
  // The network or not of the device open last, once one has been.
  std::optional<bool> opened_over_network_;
  LineSettings settings_;
  int16_t input_len_ = 0;
  bool rts_enable_ = false;
  int16_t threshold_ = 0;
  // Bytes read from the device but not yet handed out, when InputLen limits
  // a read.
  std::string unread_;
  std::unique_ptr<SerialDevice> device_;
};

// Parses line settings such as "19200,N,8,1". Throws Error when malformed.
LineSettings ParseLineSettings(const std::string& text);

}  // namespace zindo

#endif  // ZINDO_LINK_SERIAL_PORT_H_

#ifndef ZINDO_PLATFORM_SERIAL_NETWORK_PORT_H_
#define ZINDO_PLATFORM_SERIAL_NETWORK_PORT_H_

#include <memory>
#include <string>
#include <string_view>

#include "base/error.h"
#include "platform/serial/network_stream.h"
#include "platform/serial/serial_device.h"

namespace zindo {

// How long connecting to a serial server may take in all, name look-up
// included, before the open fails.
inline constexpr double kConnectLimitSeconds = 5.0;
// How long an open waits for the server's answers to the line settings, and
// the first read of carrier detect for its modem state. A server that does
// not answer is used all the same.
inline constexpr double kAnswerLimitSeconds = 1.0;

// A serial port behind a serial server on the network:
// "rfc2217://HOST:PORT" (Telnet with COM Port Control) or "tcp://HOST:PORT"
// (bytes as they are). HOST may be a name, an IPv4 address or an IPv6
// address in brackets.
struct NetworkAddress {
  enum class Scheme { kRfc2217, kTcp };
  Scheme scheme = Scheme::kTcp;
  std::string host;  // without brackets
  std::string port;  // 1 to 65535, in decimal

  // "HOST:PORT", as in "connect nport.local:4001: Connection refused".
  std::string HostAndPort() const;
  // "rfc2217://HOST:PORT".
  std::string Text() const;
};

// Whether `target` (of a port's link, or in a port file) names a network
// port rather than a device: it holds "://".
bool NamesNetworkPort(std::string_view target);

// Reads "SCHEME://HOST:PORT", the scheme in any case, with an optional "/"
// at the end. Throws Error quoting `text` when it does not read.
NetworkAddress ParseNetworkAddress(std::string_view text);

// What a read reports once the server has closed the connection of the
// port `name`: "read COM1 (...): the server closed the connection".
Error ConnectionClosed(const std::string& name);

// A serial device on `stream`, connected to `address`, set to `settings`
// when the scheme lets it be. Waits at most kAnswerLimitSeconds for the
// server's answers.
std::unique_ptr<SerialDevice> OpenNetworkDevice(
    const NetworkAddress& address, std::unique_ptr<NetworkStream> stream,
    const LineSettings& settings);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_NETWORK_PORT_H_

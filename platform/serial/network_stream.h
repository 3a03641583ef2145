#ifndef ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_H_
#define ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_H_

#include <memory>
#include <string>

#include "platform/serial/network_port.h"

namespace zindo {

// What the event pump waits on; each system has its own (watch_list-*.h).
class WatchList;

// Connects to `address` within kConnectLimitSeconds, name look-up included,
// without blocking longer. The connection has TCP keep-alives, so that a
// server that vanishes without closing it is found out by the system while
// the relay sleeps. It is registered in `watch_list` so that the event pump
// can wait for its bytes. Throws Error such as
// "connect nport.local:4001: Connection refused"; later failures name the
// port `name`, such as "COM1 (tcp://HOST:PORT)". Implemented once per
// system, in network_stream-posix.cc and network_stream-win32.cc.
std::unique_ptr<NetworkStream> ConnectTo(const NetworkAddress& address,
                                         const std::string& name,
                                         std::shared_ptr<WatchList> watch_list);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_H_

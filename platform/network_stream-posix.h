#ifndef ZINDO_PLATFORM_NETWORK_STREAM_POSIX_H_
#define ZINDO_PLATFORM_NETWORK_STREAM_POSIX_H_

#include <memory>
#include <string>

#include "platform/network_port.h"
#include "platform/watch_list-posix.h"

namespace zindo {

// Connects to `address` within kConnectLimitSeconds, name look-up included,
// without blocking longer. The connection has TCP keep-alives, so that a
// server that vanishes without closing it is found out by the kernel while
// the relay sleeps. Its descriptor is registered in `watch_list` so that
// the event pump can wait for its bytes. Throws Error such as
// "connect nport.local:4001: Connection refused".
// Later failures name the port `name`, such as "COM1 (tcp://HOST:PORT)".
std::unique_ptr<NetworkStream> ConnectTo(const NetworkAddress& address,
                                         const std::string& name,
                                         std::shared_ptr<WatchList> watch_list);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_NETWORK_STREAM_POSIX_H_

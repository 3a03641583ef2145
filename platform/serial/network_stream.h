#ifndef ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_H_
#define ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_H_

#include <functional>
#include <memory>
#include <string>

namespace zindo {

// A connection to a serial server: the system's half of a network port.
// Every method fails with Error naming the address; once the server has
// closed the connection, or stopped answering keep-alives, of kind
// ErrorKind::kGone.
class NetworkStream {
 public:
  virtual ~NetworkStream() = default;

  // Everything that has arrived and was not taken before, possibly nothing.
  // Never blocks.
  virtual std::string Receive() = 0;

  // Sends all of `bytes`, waiting a bounded time for room.
  virtual void Send(const std::string& bytes) = 0;

  // Calls `done` now and each time bytes arrive or the server closes the
  // connection, until it returns true or `seconds` have passed in all.
  virtual void WaitUntil(const std::function<bool()>& done, double seconds) = 0;

  // Lets the event pump wake while `has_unread` says that bytes taken from
  // the connection wait to be read, as it wakes for bytes in the connection.
  virtual void WatchUnread(std::function<bool()> has_unread) = 0;
};

// Where a serial server listens (network_port.h).
struct NetworkAddress;
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

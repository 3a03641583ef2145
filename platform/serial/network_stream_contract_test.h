#ifndef ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_CONTRACT_TEST_H_
#define ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_CONTRACT_TEST_H_

// What every NetworkStream promises, stated once and run against each one:
// the fake on its fake clock, and the system's own over a loopback
// connection to a server the test holds. Each implementation's test file
// instantiates NetworkStreamContract with a factory for it.

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "gtest/gtest.h"
#include "platform/serial/network_stream.h"

namespace zindo {

// The serial server's end of a connection under test.
class NetworkServerEnd {
 public:
  virtual ~NetworkServerEnd() = default;

  // The server sends `bytes` now.
  virtual void Send(const std::string& bytes) = 0;

  // The server sends `bytes` a little later: on the fake clock, some time
  // from now; on a real connection, now, from another thread.
  virtual void SendLater(const std::string& bytes) = 0;

  // The server closes its end, after what it sent.
  virtual void Close() = 0;

  // The next `count` bytes the stream sent, waiting for them. May run on
  // another thread while the stream sends.
  virtual std::string Take(std::size_t count) = 0;

  // Monotonic seconds: the fake clock's for the fake, the system's for the
  // others.
  virtual double Now() = 0;

  // Whether the event pump would wake for bytes that the stream's owner
  // says it took and has not read (NetworkStream::WatchUnread).
  virtual bool PumpSeesUnread() = 0;
};

// A stream connected to its server; the stream goes first.
struct NetworkConnection {
  std::unique_ptr<NetworkServerEnd> server;
  std::unique_ptr<NetworkStream> stream;
};

// One kind of stream to run the suite on.
struct NetworkStreamFactory {
  std::string name;
  // A connection for the port `port_name`, which the stream's errors name.
  std::function<NetworkConnection(const std::string& port_name)> connect;

  friend std::ostream& operator<<(std::ostream& out,
                                  const NetworkStreamFactory& factory) {
    return out << factory.name;
  }
};

class NetworkStreamContract
    : public ::testing::TestWithParam<NetworkStreamFactory> {
 protected:
  static constexpr const char* kPortName = "COM7 (tcp://server:4001)";
  void SetUp() override { connection_ = GetParam().connect(kPortName); }
  NetworkStream& stream() { return *connection_.stream; }
  NetworkServerEnd& server() { return *connection_.server; }

  NetworkConnection connection_;
};

// Names each instantiation's tests after the stream.
inline std::string NetworkStreamName(
    const ::testing::TestParamInfo<NetworkStreamFactory>& info) {
  return info.param.name;
}

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_NETWORK_STREAM_CONTRACT_TEST_H_

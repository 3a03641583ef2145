#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/descriptor-posix.h"
#include "platform/serial/network_port.h"
#include "platform/serial/network_stream.h"
#include "platform/serial/network_stream_contract_test.h"
#include "platform/system/clock-posix.h"
#include "platform/system/watch_list-posix.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

// A listening socket on the loopback address, on a port the system chose.
UniqueFd Listen(int& port) {
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (!listener.valid() || ::bind(listener.get(), generic, length) != 0 ||
      ::listen(listener.get(), 1) != 0 ||
      ::getsockname(listener.get(), generic, &length) != 0) {
    throw std::runtime_error("cannot listen on the loopback address");
  }
  port = ntohs(address.sin_port);
  return listener;
}

class PosixServerEnd : public NetworkServerEnd {
 public:
  explicit PosixServerEnd(std::shared_ptr<WatchList> watch_list)
      : watch_list_(std::move(watch_list)) {}
  ~PosixServerEnd() override {
    if (sender_.joinable()) sender_.join();
  }

  // Connects `stream` through the listener, and keeps the server's end.
  std::unique_ptr<NetworkStream> Connect(const std::string& port_name) {
    int port = 0;
    UniqueFd listener = Listen(port);
    auto stream = ConnectTo(
        ParseNetworkAddress("tcp://127.0.0.1:" + std::to_string(port)),
        port_name, watch_list_);
    socket_ =
        UniqueFd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket_.valid()) throw std::runtime_error("accept failed");
    return stream;
  }

  void Send(const std::string& bytes) override {
    if (WriteAll(socket_.get(), bytes) != 0) {
      throw std::runtime_error("the server's send failed");
    }
  }
  void SendLater(const std::string& bytes) override {
    sender_ = std::thread([this, bytes] { Send(bytes); });
  }
  void Close() override { socket_.Close(); }
  std::string Take(std::size_t count) override {
    return posix_test::ReadBytes(socket_.get(), count,
                                 std::chrono::seconds(20));
  }
  bool PumpSeesUnread() override { return watch_list_->AnyUnread(); }
  double Now() override { return PosixClock().MonotonicSeconds(); }

 private:
  std::shared_ptr<WatchList> watch_list_;
  UniqueFd socket_;
  std::thread sender_;
};

INSTANTIATE_TEST_SUITE_P(
    Posix, NetworkStreamContract,
    ::testing::Values(NetworkStreamFactory{
        .name = "Posix",
        .connect =
            [](const std::string& port_name) {
              auto end = std::make_unique<PosixServerEnd>(
                  std::make_shared<WatchList>());
              auto stream = end->Connect(port_name);
              return NetworkConnection{std::move(end), std::move(stream)};
            }}),
    NetworkStreamName);

}  // namespace
}  // namespace zindo

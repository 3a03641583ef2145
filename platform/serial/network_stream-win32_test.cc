// winsock2.h before the rest, as network_stream-win32.cc has it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/serial/network_port.h"
#include "platform/serial/network_stream.h"
#include "platform/serial/network_stream_contract_test.h"
#include "platform/system/clock-win32.h"
#include "platform/system/watch_list-win32.h"

namespace zindo {
namespace {

// How long the server's end waits for the bytes it takes.
constexpr DWORD kTakeLimitMs = 20000;

// Winsock for the server's end; the stream starts it again for itself.
void StartWinsock() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    throw std::runtime_error("cannot start Windows Sockets");
  }
}

// A listening socket on the loopback address, on a port the system chose.
SOCKET Listen(int& port) {
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (listener == INVALID_SOCKET || ::bind(listener, generic, length) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, generic, &length) != 0) {
    throw std::runtime_error("cannot listen on the loopback address");
  }
  port = ntohs(address.sin_port);
  return listener;
}

class Win32ServerEnd : public NetworkServerEnd {
 public:
  Win32ServerEnd() : watch_list_(std::make_shared<WatchList>()) {
    StartWinsock();
  }
  ~Win32ServerEnd() override {
    if (sender_.joinable()) sender_.join();
    Close();
    ::WSACleanup();
  }

  // Connects a stream through the listener, and keeps the server's end.
  std::unique_ptr<NetworkStream> Connect(const std::string& port_name) {
    int port = 0;
    const SOCKET listener = Listen(port);
    auto stream = ConnectTo(
        ParseNetworkAddress("tcp://127.0.0.1:" + std::to_string(port)),
        port_name, watch_list_);
    socket_ = ::accept(listener, nullptr, nullptr);
    ::closesocket(listener);
    if (socket_ == INVALID_SOCKET) throw std::runtime_error("accept failed");
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO,
                 reinterpret_cast<const char*>(&kTakeLimitMs),
                 sizeof kTakeLimitMs);
    return stream;
  }

  void Send(const std::string& bytes) override {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const int count = ::send(socket_, bytes.data() + sent,
                               static_cast<int>(bytes.size() - sent), 0);
      if (count <= 0) throw std::runtime_error("the server's send failed");
      sent += static_cast<std::size_t>(count);
    }
  }
  void SendLater(const std::string& bytes) override {
    sender_ = std::thread([this, bytes] { Send(bytes); });
  }
  void Close() override {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }
  std::string Take(std::size_t count) override {
    std::string taken;
    char buffer[4096];
    while (taken.size() < count) {
      const int wanted =
          static_cast<int>(std::min(sizeof buffer, count - taken.size()));
      const int got = ::recv(socket_, buffer, wanted, 0);
      if (got <= 0) break;
      taken.append(buffer, static_cast<std::size_t>(got));
    }
    return taken;
  }
  double Now() override { return Win32Clock().MonotonicSeconds(); }
  bool PumpSeesUnread() override {
    for (ReceiveWatch* port : watch_list_->serial_ports()) {
      if (port->ArmReceiveWait().bytes_waiting) return true;
    }
    return false;
  }

 private:
  std::shared_ptr<WatchList> watch_list_;
  SOCKET socket_ = INVALID_SOCKET;
  std::thread sender_;
};

INSTANTIATE_TEST_SUITE_P(
    Win32, NetworkStreamContract,
    ::testing::Values(NetworkStreamFactory{
        .name = "Win32",
        .connect =
            [](const std::string& port_name) {
              auto end = std::make_unique<Win32ServerEnd>();
              auto stream = end->Connect(port_name);
              return NetworkConnection{std::move(end), std::move(stream)};
            }}),
    NetworkStreamName);

}  // namespace
}  // namespace zindo

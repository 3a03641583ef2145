// winsock2.h before the rest: windows-win32.h keeps windows.h lean, so it
// brings no older winsock.h to clash with.
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: this relies on its types.
#include <mstcpip.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/serial/network_port.h"
#include "platform/serial/network_stream.h"
#include "platform/system/clock.h"
#include "platform/system/watch_list-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// A server gone silent is found out after 10 s of silence and the system's
// keep-alive probes, 5 s apart.
constexpr ULONG kKeepAliveIdleMs = 10000;
constexpr ULONG kKeepAliveIntervalMs = 5000;
// How long a send may wait for room, as a write to a local port may.
constexpr double kSendStallLimitSeconds = 5.0;

// `seconds` in the whole milliseconds Windows' waits take, rounded up so
// that a wait never ends before its deadline; less than nothing is nothing.
int WaitLimitMilliseconds(double seconds) {
  return seconds > 0 ? static_cast<int>(std::ceil(seconds * 1000)) : 0;
}

int MillisecondsUntil(double deadline) {
  return WaitLimitMilliseconds(deadline - MonotonicNow());
}

Error SocketError(const std::string& what, int code,
                  ErrorKind kind = ErrorKind::kOther) {
  return Win32Error(what, static_cast<DWORD>(code), kind);
}

// Winsock is started once, for the life of the process.
void StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) throw SocketError("start Windows Sockets", started);
}

// One name look-up, shared by the relay and the thread that does it: the
// system's look-up cannot be given a time limit, so the relay stops waiting
// for it instead, and the thread frees what it finds when no one waits.
struct Lookup {
  std::mutex mutex;
  // Set once the look-up has finished, with `status` and `found` in place.
  UniqueHandle finished{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  int status = 0;
  addrinfo* found = nullptr;

  ~Lookup() {
    if (found != nullptr) ::freeaddrinfo(found);
  }
};

std::shared_ptr<Lookup> StartLookup(const NetworkAddress& address) {
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host = address.host, port = address.port] {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status =
        ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->status = status;
    lookup->found = found;
    ::SetEvent(lookup->finished.get());
  }).detach();
  return lookup;
}

std::shared_ptr<Lookup> Resolve(const NetworkAddress& address,
                                double deadline) {
  const std::string what = "connect " + address.HostAndPort();
  std::shared_ptr<Lookup> lookup = StartLookup(address);
  if (::WaitForSingleObject(lookup->finished.get(),
                            static_cast<DWORD>(MillisecondsUntil(deadline))) !=
      WAIT_OBJECT_0) {
    throw SocketError(what + ": looking up the name", WSAETIMEDOUT);
  }
  std::lock_guard<std::mutex> lock(lookup->mutex);
  if (lookup->status != 0) {
    throw SocketError(what, lookup->status, ErrorKind::kNotFound);
  }
  return lookup;
}

// Small messages go at once; keep-alives are the system's, costing the
// relay no wake-up.
void TuneConnection(SOCKET socket) {
  BOOL on = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY,
               reinterpret_cast<const char*>(&on), sizeof on);
  tcp_keepalive keepalive{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
  DWORD returned = 0;
  ::WSAIoctl(socket, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr,
             0, &returned, nullptr, nullptr);
}

// Waits until `socket` has `events`, or the deadline; returns what came.
short PollSocket(SOCKET socket, short events, int limit_ms) {
  WSAPOLLFD watched{socket, events, 0};
  if (::WSAPoll(&watched, 1, limit_ms) <= 0) return 0;
  return watched.revents;
}

// A connected socket to `candidate`, or INVALID_SOCKET with `error` set.
SOCKET ConnectOne(const addrinfo& candidate, double deadline, int& error) {
  SOCKET socket = ::socket(candidate.ai_family, candidate.ai_socktype,
                           candidate.ai_protocol);
  if (socket == INVALID_SOCKET) {
    error = ::WSAGetLastError();
    return socket;
  }
  u_long non_blocking = 1;
  ::ioctlsocket(socket, FIONBIO, &non_blocking);
  if (::connect(socket, candidate.ai_addr,
                static_cast<int>(candidate.ai_addrlen)) != 0) {
    error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      const short ready =
          PollSocket(socket, POLLOUT, MillisecondsUntil(deadline));
      int length = sizeof error;
      error = WSAETIMEDOUT;
      if (ready != 0) {
        ::getsockopt(socket, SOL_SOCKET, SO_ERROR,
                     reinterpret_cast<char*>(&error), &length);
      }
    }
    if (error != 0) {
      ::closesocket(socket);
      return INVALID_SOCKET;
    }
  }
  TuneConnection(socket);
  return socket;
}

class Win32NetworkStream : public NetworkStream, public ReceiveWatch {
 public:
  Win32NetworkStream(SOCKET socket, std::string name,
                     std::shared_ptr<WatchList> watch_list);
  ~Win32NetworkStream() override {
    watch_list_->RemoveSerialPort(this);
    ::closesocket(socket_);
  }

  void WatchUnread(std::function<bool()> has_unread) override {
    has_unread_ = std::move(has_unread);
  }

  std::string Receive() override;
  void Send(const std::string& bytes) override;
  void WaitUntil(const std::function<bool()>& done, double seconds) override;
  ReceiveWait ArmReceiveWait() override;

 private:
  SOCKET socket_;
  std::string name_;
  std::shared_ptr<WatchList> watch_list_;
  UniqueHandle arrival_;
  std::function<bool()> has_unread_;
  bool closed_ = false;
};

Win32NetworkStream::Win32NetworkStream(SOCKET socket, std::string name,
                                       std::shared_ptr<WatchList> watch_list)
    : socket_(socket),
      name_(std::move(name)),
      watch_list_(std::move(watch_list)),
      arrival_(::WSACreateEvent()) {
  if (!arrival_.valid() ||
      ::WSAEventSelect(socket_, arrival_.get(), FD_READ | FD_CLOSE) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(socket_);
    throw SocketError("watch " + name_, error);
  }
  watch_list_->AddSerialPort(this);
}

// Bytes that came before the server closed the connection are handed out
// first; the close is reported by the call after.
std::string Win32NetworkStream::Receive() {
  if (closed_) throw ConnectionClosed(name_);
  std::string received;
  char buffer[4096];
  for (;;) {
    const int got = ::recv(socket_, buffer, sizeof buffer, 0);
    if (got > 0) {
      received.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) {
      closed_ = true;
      return received.empty() ? Receive() : received;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return received;
    throw SocketError("read " + name_, error, ErrorKind::kGone);
  }
}

void Win32NetworkStream::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int count = ::send(socket_, bytes.data() + sent,
                             static_cast<int>(bytes.size() - sent), 0);
    if (count > 0) {
      sent += static_cast<std::size_t>(count);
      continue;
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      throw SocketError("write " + name_, error, ErrorKind::kGone);
    }
    if (PollSocket(socket_, POLLOUT,
                   WaitLimitMilliseconds(kSendStallLimitSeconds)) == 0) {
      throw Error("write " + name_ + ": the server took nothing for " +
                  std::to_string(static_cast<int>(kSendStallLimitSeconds)) +
                  " seconds");
    }
  }
}

void Win32NetworkStream::WaitUntil(const std::function<bool()>& done,
                                   double seconds) {
  const double deadline = MonotonicNow() + seconds;
  while (!done()) {
    const int left_ms = MillisecondsUntil(deadline);
    if (left_ms == 0) return;
    PollSocket(socket_, POLLRDNORM, left_ms);
  }
}

// The event is reset first, so that bytes arriving after the look below
// still signal it.
ReceiveWait Win32NetworkStream::ArmReceiveWait() {
  WSANETWORKEVENTS events{};
  ::WSAEnumNetworkEvents(socket_, arrival_.get(), &events);
  u_long queued = 0;
  ::ioctlsocket(socket_, FIONREAD, &queued);
  const bool waiting = queued > 0 || (events.lNetworkEvents & FD_CLOSE) != 0 ||
                       (has_unread_ && has_unread_());
  return {waiting, arrival_.get()};
}

}  // namespace

std::unique_ptr<NetworkStream> ConnectTo(
    const NetworkAddress& address, const std::string& name,
    std::shared_ptr<WatchList> watch_list) {
  StartWinsock();
  const double deadline = MonotonicNow() + kConnectLimitSeconds;
  std::shared_ptr<Lookup> lookup = Resolve(address, deadline);
  int error = WSAETIMEDOUT;
  SOCKET socket = INVALID_SOCKET;
  for (addrinfo* candidate = lookup->found;
       candidate != nullptr && socket == INVALID_SOCKET;
       candidate = candidate->ai_next) {
    socket = ConnectOne(*candidate, deadline, error);
  }
  if (socket == INVALID_SOCKET) {
    throw SocketError("connect " + address.HostAndPort(), error);
  }
  return std::make_unique<Win32NetworkStream>(socket, name,
                                              std::move(watch_list));
}

}  // namespace zindo

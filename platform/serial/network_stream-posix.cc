#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <utility>

#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/serial/network_port.h"
#include "platform/serial/network_stream.h"
#include "platform/system/clock-posix.h"
#include "platform/system/watch_list-posix.h"

namespace zindo {
namespace {

// A server gone silent is found out after about 10 + 3 x 5 seconds of
// unanswered keep-alives, or when sent bytes stay unacknowledged this long.
constexpr int kKeepAliveIdleSeconds = 10;
constexpr int kKeepAliveIntervalSeconds = 5;
constexpr int kKeepAliveProbes = 3;
constexpr double kUnacknowledgedLimitSeconds = 25.0;
// How long a send may wait for room, as a write to a local port may.
constexpr double kSendStallLimitSeconds = 5.0;

// What is left of a wait until `deadline`, as ppoll takes it: rounded up, so
// that the wait never ends before its deadline.
timespec LeftUntil(double deadline) {
  return ToTimespec(deadline - MonotonicNow(), Rounding::kUp);
}

bool IsNothing(const timespec& left) {
  return left.tv_sec == 0 && left.tv_nsec == 0;
}

// Waits at most `limit` for `events` on `fd`; ppoll's answer.
int PollFor(int fd, short events, const timespec& limit) {
  pollfd watched{fd, events, 0};
  return ::ppoll(&watched, 1, &limit, nullptr);
}

// The look-up and its strings, which the resolver uses until it finishes.
struct Lookup {
  std::string host;
  std::string service;
  addrinfo hints{};
  gaicb request{};
};

// Looks up `address` without waiting past `deadline`. A look-up that cannot
// be cancelled is left to finish on its own, with its memory.
addrinfo* Resolve(const NetworkAddress& address, double deadline) {
  const std::string what = "connect " + address.HostAndPort();
  auto lookup = std::make_unique<Lookup>();
  lookup->host = address.host;
  lookup->service = address.port;
  lookup->hints.ai_socktype = SOCK_STREAM;
  lookup->hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  lookup->request.ar_name = lookup->host.c_str();
  lookup->request.ar_service = lookup->service.c_str();
  lookup->request.ar_request = &lookup->hints;
  gaicb* requests[] = {&lookup->request};
  int status = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr);
  if (status != 0) throw Error(what + ": " + ::gai_strerror(status));
  while ((status = ::gai_error(&lookup->request)) == EAI_INPROGRESS) {
    const timespec limit = LeftUntil(deadline);
    if (IsNothing(limit)) break;
    ::gai_suspend(requests, 1, &limit);
  }
  if (status == EAI_INPROGRESS) {
    if (::gai_cancel(&lookup->request) != EAI_CANCELED) lookup.release();
    throw SystemError(what + ": looking up the name", ETIMEDOUT);
  }
  if (status != 0) {
    throw Error(what + ": " + ::gai_strerror(status), ErrorKind::kNotFound);
  }
  return lookup->request.ar_result;
}

void SetOption(int fd, int level, int name, int value) {
  ::setsockopt(fd, level, name, &value, sizeof value);
}

// Small messages go at once; keep-alives are the kernel's, costing the relay
// no wake-up.
void TuneConnection(int fd) {
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleSeconds);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalSeconds);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
  // The system takes this limit in milliseconds.
  SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT,
            static_cast<int>(kUnacknowledgedLimitSeconds * 1000));
}

// A connected socket to `candidate`, or an invalid one with `error` set.
UniqueFd ConnectOne(const addrinfo& candidate, double deadline, int& error) {
  UniqueFd fd(::socket(candidate.ai_family,
                       candidate.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                       candidate.ai_protocol));
  if (!fd.valid()) {
    error = errno;
    return fd;
  }
  if (::connect(fd.get(), candidate.ai_addr, candidate.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      error = errno;
      return UniqueFd();
    }
    int ready;
    do {
      ready = PollFor(fd.get(), POLLOUT, LeftUntil(deadline));
    } while (ready < 0 && errno == EINTR);
    socklen_t length = sizeof error;
    if (ready <= 0) {
      error = ready == 0 ? ETIMEDOUT : errno;
      return UniqueFd();
    }
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0) {
      return UniqueFd();
    }
  }
  TuneConnection(fd.get());
  return fd;
}

class PosixNetworkStream : public NetworkStream {
 public:
  PosixNetworkStream(UniqueFd fd, std::string name,
                     std::shared_ptr<WatchList> watch_list)
      : fd_(std::move(fd)),
        name_(std::move(name)),
        watch_list_(std::move(watch_list)) {}

  ~PosixNetworkStream() override { watch_list_->RemoveSerialPort(fd_.get()); }

  void WatchUnread(std::function<bool()> has_unread) override {
    watch_list_->RemoveSerialPort(fd_.get());
    watch_list_->AddSerialPort(fd_.get(), std::move(has_unread));
  }

  std::string Receive() override;
  void Send(const std::string& bytes) override;
  void WaitUntil(const std::function<bool()>& done, double seconds) override;

 private:
  Error Gone(const std::string& operation, int error) const {
    return Error(SystemError(operation + " " + name_, error).what(),
                 ErrorKind::kGone);
  }
  void WaitForRoom();

  UniqueFd fd_;
  std::string name_;
  std::shared_ptr<WatchList> watch_list_;
  bool closed_ = false;
};

// Bytes that came before the server closed the connection are handed out
// first; the close is reported by the call after.
std::string PosixNetworkStream::Receive() {
  if (closed_) throw ConnectionClosed(name_);
  std::string received;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      received.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      closed_ = true;
      if (received.empty()) return Receive();
      return received;
    } else if (IsWouldBlock(errno)) {
      return received;
    } else if (errno != EINTR) {
      throw Gone("read", errno);
    }
  }
}

void PosixNetworkStream::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t count = ::send(fd_.get(), bytes.data() + sent,
                                 bytes.size() - sent, MSG_NOSIGNAL);
    if (count > 0) {
      sent += static_cast<std::size_t>(count);
    } else if (count < 0 && IsWouldBlock(errno)) {
      WaitForRoom();
    } else if (count < 0 && errno != EINTR) {
      throw Gone("write", errno);
    }
  }
}

void PosixNetworkStream::WaitForRoom() {
  const int ready = PollFor(fd_.get(), POLLOUT,
                            ToTimespec(kSendStallLimitSeconds, Rounding::kUp));
  if (ready == 0) {
    throw Error("write " + name_ + ": the server took nothing for " +
                std::to_string(static_cast<int>(kSendStallLimitSeconds)) +
                " seconds");
  }
}

void PosixNetworkStream::WaitUntil(const std::function<bool()>& done,
                                   double seconds) {
  const double deadline = MonotonicNow() + seconds;
  while (!done()) {
    const timespec limit = LeftUntil(deadline);
    if (IsNothing(limit)) return;
    PollFor(fd_.get(), POLLIN, limit);
  }
}

}  // namespace

std::unique_ptr<NetworkStream> ConnectTo(
    const NetworkAddress& address, const std::string& name,
    std::shared_ptr<WatchList> watch_list) {
  const double deadline = MonotonicNow() + kConnectLimitSeconds;
  addrinfo* found = Resolve(address, deadline);
  int error = ETIMEDOUT;
  UniqueFd fd;
  for (addrinfo* candidate = found; candidate && !fd.valid();
       candidate = candidate->ai_next) {
    fd = ConnectOne(*candidate, deadline, error);
  }
  ::freeaddrinfo(found);
  if (!fd.valid()) throw SystemError("connect " + address.HostAndPort(), error);
  auto stream = std::make_unique<PosixNetworkStream>(std::move(fd), name,
                                                     std::move(watch_list));
  stream->WatchUnread({});
  return stream;
}

}  // namespace zindo

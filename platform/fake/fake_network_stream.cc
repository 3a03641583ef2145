#include "platform/fake/fake_network_stream.h"

#include <algorithm>
#include <utility>

#include "base/error.h"
#include "platform/serial/network_port.h"

namespace zindo {

class FakeNetworkStream : public NetworkStream {
 public:
  FakeNetworkStream(FakeNetworkServer& server, std::string name)
      : server_(server), name_(std::move(name)) {
    server_.journal_.Record("connect " + name_);
    server_.connected_ = true;
  }

  ~FakeNetworkStream() override {
    server_.journal_.Record("disconnect " + name_);
    server_.connected_ = false;
    server_.has_unread_ = {};
  }

  // As a socket does: bytes that came before the close first, then the
  // close, reported by every call after.
  std::string Receive() override {
    server_.Deliver();
    if (server_.arrived_.empty() && server_.closed_) {
      throw ConnectionClosed(name_);
    }
    return std::exchange(server_.arrived_, "");
  }

  void Send(const std::string& bytes) override {
    server_.Deliver();
    if (server_.closed_) {
      throw Error("write " + name_ + ": Broken pipe", ErrorKind::kGone);
    }
    server_.journal_.Record("send " + HexBytes(bytes));
    server_.received_ += bytes;
    if (server_.on_receive) server_.on_receive(bytes);
  }

  void WaitUntil(const std::function<bool()>& done, double seconds) override;

  void WatchUnread(std::function<bool()> has_unread) override {
    server_.has_unread_ = std::move(has_unread);
  }

 private:
  FakeNetworkServer& server_;
  std::string name_;
};

// Looks again at each arrival, and at the close, as a poll wakes for them,
// and once more when the time is up, as a poll that timed out returns.
void FakeNetworkStream::WaitUntil(const std::function<bool()>& done,
                                  double seconds) {
  FakeClock& clock = server_.clock_;
  const double deadline = clock.monotonic() + seconds;
  bool looked_since_close = false;
  while (!done()) {
    const double now = clock.monotonic();
    if (now >= deadline) return;
    server_.Deliver();  // what `done` left unread wakes no one twice
    if (server_.closed_ && !looked_since_close) {
      looked_since_close = true;
      continue;
    }
    const double next = server_.NextArrival();
    const bool arrives_in_time = next >= 0 && next <= deadline;
    clock.Advance((arrives_in_time ? next : deadline) - now);
  }
}

std::unique_ptr<NetworkStream> FakeNetworkServer::Connect(
    const std::string& name) {
  if (connected_) throw Error("fake network server: already connected");
  return std::make_unique<FakeNetworkStream>(*this, name);
}

void FakeNetworkServer::SendAfter(double seconds, const std::string& bytes) {
  Schedule({clock_.monotonic() + seconds, bytes});
}

void FakeNetworkServer::CloseAfter(double seconds) {
  Schedule({clock_.monotonic() + seconds, "", true});
}

// What is sent for the same moment arrives in the order it was sent.
void FakeNetworkServer::Schedule(Arrival arrival) {
  auto later = std::upper_bound(
      arrivals_.begin(), arrivals_.end(), arrival.at,
      [](double time, const Arrival& other) { return time < other.at; });
  arrivals_.insert(later, std::move(arrival));
}

void FakeNetworkServer::Deliver() {
  const double now = clock_.monotonic();
  while (!arrivals_.empty() && arrivals_.front().at <= now && !closed_) {
    arrived_ += arrivals_.front().bytes;
    closed_ = arrivals_.front().close;
    arrivals_.erase(arrivals_.begin());
  }
}

double FakeNetworkServer::NextArrival() const {
  return arrivals_.empty() || closed_ ? -1.0 : arrivals_.front().at;
}

}  // namespace zindo

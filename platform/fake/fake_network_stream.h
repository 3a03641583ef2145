#ifndef ZINDO_PLATFORM_FAKE_FAKE_NETWORK_STREAM_H_
#define ZINDO_PLATFORM_FAKE_FAKE_NETWORK_STREAM_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/serial/network_stream.h"

namespace zindo {

// The serial server's end of fake network connections, on the fake clock.
// A test says what the server sends and when; the connection records what
// the relay did in the journal ("connect COM1", "send ff fb 2c",
// "disconnect COM1") and hands the server's bytes out once their time has
// come. A wait moves the fake clock on to the next arrival, or to its
// limit, so that a wait for a server that never answers takes its full
// time and no more. One connection at a time.
class FakeNetworkServer {
 public:
  FakeNetworkServer(FakeClock& clock, FakeJournal& journal)
      : clock_(clock), journal_(journal) {}

  // A connection to this server for the port `name`, as ConnectTo makes
  // one. The server must outlive it.
  std::unique_ptr<NetworkStream> Connect(const std::string& name);

  // The server sends `bytes`, arriving `seconds` from now on the fake clock.
  void SendAfter(double seconds, const std::string& bytes);
  void Send(const std::string& bytes) { SendAfter(0, bytes); }

  // The server closes the connection `seconds` from now; what it sent before
  // arrives first.
  void CloseAfter(double seconds);
  void Close() { CloseAfter(0); }

  // Every byte the relay sent, in order.
  const std::string& received() const { return received_; }
  // The server's side of the conversation: called with every send of the
  // relay, after it is added to received().
  std::function<void(const std::string&)> on_receive;

  // Whether a connection is open, and whether its owner says that bytes it
  // took from the connection wait to be read (as the event pump asks).
  bool connected() const { return connected_; }
  bool HasUnread() const { return has_unread_ && has_unread_(); }

 private:
  friend class FakeNetworkStream;
  struct Arrival {
    double at;  // monotonic seconds
    std::string bytes;
    bool close = false;
  };
  void Schedule(Arrival arrival);
  // Moves what has arrived by now into the connection.
  void Deliver();
  // When the next arrival not yet delivered comes; a negative value if none.
  double NextArrival() const;

  FakeClock& clock_;
  FakeJournal& journal_;
  std::vector<Arrival> arrivals_;  // in the order of their times
  std::string arrived_;            // delivered and not yet received
  bool closed_ = false;            // the close has arrived
  bool connected_ = false;
  std::string received_;
  std::function<bool()> has_unread_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_NETWORK_STREAM_H_

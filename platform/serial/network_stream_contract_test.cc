#include "platform/serial/network_stream_contract_test.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "base/error.h"
#include "gmock/gmock.h"
#include "platform/fake/fake_network_stream.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

// Far longer than any wait below should take: a stream that misses what it
// waits for runs into the test's time limit instead of passing late.
constexpr double kPatience = 20.0;

std::string EveryByteValue() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes;
}

// Receives until `count` bytes came, or the close (returned). The wait must
// end for them, not for its limit.
std::optional<Error> ReceiveUntil(NetworkStream& stream,
                                  NetworkServerEnd& server, std::size_t count,
                                  std::string& got) {
  std::optional<Error> closed;
  const double start = server.Now();
  stream.WaitUntil(
      [&] {
        try {
          got += stream.Receive();
        } catch (const Error& error) {
          closed = error;
        }
        return closed || got.size() >= count;
      },
      kPatience);
  EXPECT_LT(server.Now() - start, kPatience) << "woke only at the limit";
  return closed;
}

TEST_P(NetworkStreamContract, HandsOutWhatTheServerSentOnceInOrder) {
  EXPECT_EQ(stream().Receive(), "");  // nothing yet, and no waiting
  const std::string sent = EveryByteValue() + EveryByteValue();
  server().Send(sent);
  std::string got;
  EXPECT_FALSE(ReceiveUntil(stream(), server(), sent.size(), got));
  EXPECT_EQ(got, sent);
  EXPECT_EQ(stream().Receive(), "");
}

TEST_P(NetworkStreamContract, SendsEveryByteInOrderWaitingForRoom) {
  // More than the system buffers on a loopback connection: the send waits
  // for the server to take some.
  for (const std::size_t size : {std::size_t{256}, std::size_t{8} << 20}) {
    std::string bytes;
    while (bytes.size() < size) bytes += EveryByteValue();
    bytes.resize(size);
    std::string taken;
    std::thread taker([&] { taken = server().Take(size); });
    stream().Send(bytes);
    taker.join();
    EXPECT_TRUE(taken == bytes) << size << " bytes";
  }
}

TEST_P(NetworkStreamContract, WaitLooksAtOnceAndEndsWhenDone) {
  int looks = 0;
  stream().WaitUntil([&] { return ++looks == 1; }, kPatience);
  EXPECT_EQ(looks, 1);
  stream().WaitUntil([] { return false; }, 0.05);  // returns all the same
}

TEST_P(NetworkStreamContract, WaitWakesForBytesThatArriveDuringIt) {
  std::string got;
  bool asked = false;
  const double start = server().Now();
  stream().WaitUntil(
      [&] {
        if (!asked) server().SendLater("late");
        asked = true;
        got += stream().Receive();
        return got == "late";
      },
      kPatience);
  EXPECT_EQ(got, "late");
  EXPECT_LT(server().Now() - start, kPatience) << "woke only at the limit";
}

TEST_P(NetworkStreamContract, ReportsTheCloseAfterTheBytesBeforeIt) {
  server().Send("tail");
  server().Close();
  std::string got;
  const std::optional<Error> closed =
      ReceiveUntil(stream(), server(), 1000, got);
  EXPECT_EQ(got, "tail");
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->kind(), ErrorKind::kGone);
  EXPECT_THAT(closed->what(), HasSubstr(kPortName));
  try {
    stream().Receive();
    ADD_FAILURE() << "a second read after the close succeeded";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kGone) << error.what();
  }
}

TEST_P(NetworkStreamContract, TellsThePumpOfBytesTakenAndUnread) {
  bool unread = false;
  stream().WatchUnread([&] { return unread; });
  EXPECT_FALSE(server().PumpSeesUnread());
  unread = true;
  EXPECT_TRUE(server().PumpSeesUnread());
  stream().WatchUnread({});
  EXPECT_FALSE(server().PumpSeesUnread());
}

// The fake server's end. Take may run on another thread while the stream
// sends, so what the stream sent is handed over under a lock.
class FakeServerEnd : public NetworkServerEnd {
 public:
  FakeServerEnd() {
    server_.on_receive = [this](const std::string& bytes) {
      std::lock_guard<std::mutex> lock(mutex_);
      sent_ += bytes;
      arrived_.notify_all();
    };
  }
  FakeNetworkServer& server() { return server_; }

  void Send(const std::string& bytes) override { server_.Send(bytes); }
  void SendLater(const std::string& bytes) override {
    server_.SendAfter(0.25, bytes);
  }
  void Close() override { server_.Close(); }
  std::string Take(std::size_t count) override {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait(lock, [&] { return sent_.size() >= count; });
    std::string taken = sent_.substr(0, count);
    sent_.erase(0, count);
    return taken;
  }
  bool PumpSeesUnread() override { return server_.HasUnread(); }
  double Now() override { return clock_.monotonic(); }

 private:
  FakeJournal journal_;
  FakeClock clock_;
  FakeNetworkServer server_{clock_, journal_};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::string sent_;
};

INSTANTIATE_TEST_SUITE_P(
    Fake, NetworkStreamContract,
    ::testing::Values(NetworkStreamFactory{
        .name = "Fake",
        .connect =
            [](const std::string& port_name) {
              auto end = std::make_unique<FakeServerEnd>();
              auto stream = end->server().Connect(port_name);
              return NetworkConnection{std::move(end), std::move(stream)};
            }}),
    NetworkStreamName);

}  // namespace
}  // namespace zindo

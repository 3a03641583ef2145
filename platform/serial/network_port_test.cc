#include "platform/serial/network_port.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/test_bytes.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_network_stream.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

constexpr double kRoundTrip = 0.1;  // the fake server's time to answer
const char kPort[] = "COM1 (rfc2217://server:4001)";

// IAC SB COM-PORT command value... IAC SE.
std::string Sub(int command, std::vector<int> value) {
  std::string sub = Bytes({255, 250, 44, command});
  for (int byte : value) {
    sub += Bytes(byte == 255 ? std::vector{255, 255} : std::vector{byte});
  }
  return sub + Bytes({255, 240});
}

const std::string kWillComPort = Bytes({255, 251, 44});
const std::string kPurge = Sub(12, {3});
constexpr const char* kAddress = "rfc2217://server:4001";

// A serial server as the test scripts it: how it answers the client's
// offer of COM Port Control and its settings, and its modem state.
struct Server {
  bool answers = true;
  bool takes_com_port = true;
  std::optional<int> modem_state;  // sent after the acknowledgements
  double modem_state_delay = 0;
};

// A fake serial server on its fake clock, and how to open a device on it.
struct Bench {
  // Answers each part of the client's opening one round trip later, as
  // `script` says.
  void Serve(const Server& script) {
    server.on_receive = [this, script](const std::string& bytes) {
      if (!script.answers) return;
      if (bytes.find(kWillComPort) != std::string::npos) {
        server.SendAfter(kRoundTrip,
                         Bytes({255, script.takes_com_port ? 253 : 254, 44}));
      }
      if (bytes.find(kPurge) == std::string::npos) return;
      server.SendAfter(kRoundTrip, Sub(101, {0, 0, 75, 0}) + Sub(102, {8}) +
                                       Sub(103, {1}) + Sub(104, {1}) +
                                       Sub(112, {3}));
      if (script.modem_state) {
        server.SendAfter(kRoundTrip + script.modem_state_delay,
                         Sub(107, {*script.modem_state}));
      }
    };
  }

  std::unique_ptr<SerialDevice> Open(const std::string& address = kAddress,
                                     const LineSettings& settings = {}) {
    return OpenNetworkDevice(ParseNetworkAddress(address),
                             server.Connect(kPort), settings);
  }

  // Seconds of fake time that `action` took.
  template <typename Action>
  double Timed(Action action) {
    const double start = clock.monotonic();
    action();
    return clock.monotonic() - start;
  }

  FakeJournal journal;
  FakeClock clock;
  FakeNetworkServer server{clock, journal};
};

class NetworkPortTest : public ::testing::Test, public Bench {};

TEST_F(NetworkPortTest, SendsTheSettingsOnceTheServerTakesComPortControl) {
  Serve({});
  auto device = Open(kAddress, {9600, Parity::kEven, 7, 2});
  const std::string offer =
      Bytes({255, 251, 0, 255, 251, 3, 255, 251, 44, 255, 253, 0, 255, 253, 3});
  const std::string settings = Sub(1, {0, 0, 37, 128}) + Sub(2, {7}) +
                               Sub(3, {3}) + Sub(4, {2}) + Sub(5, {1}) +
                               Sub(5, {14}) + Sub(5, {8}) + Sub(5, {11}) +
                               Sub(10, {0}) + Sub(11, {0x80}) + kPurge;
  EXPECT_EQ(server.received(), offer + settings);
  EXPECT_EQ(journal.entries().front(), std::string("connect ") + kPort);
  device.reset();
  EXPECT_EQ(journal.entries().back(), std::string("disconnect ") + kPort);
}

// The open waits for the acknowledgements, bounded; the first look at
// carrier detect for the modem state, bounded, and only where the server
// took COM Port Control.
TEST(NetworkPortWaitTest, WaitsBoundedForTheServersAnswers) {
  const struct {
    const char* name;
    const char* address;
    Server server;
    double open_seconds;
    bool carrier;
    double look_seconds;  // what the first look at carrier detect took
  } cases[] = {
      {"carrier with the acknowledgements",
       kAddress,
       {.modem_state = 0x80},
       2 * kRoundTrip,
       true,
       0},
      {"no carrier", kAddress, {.modem_state = 0x30}, 2 * kRoundTrip, false, 0},
      {"modem state late, within the wait",
       kAddress,
       {.modem_state = 0xB0, .modem_state_delay = 0.6},
       2 * kRoundTrip,
       true,
       0.6},
      {"modem state never sent",
       kAddress,
       {},
       2 * kRoundTrip,
       false,
       kAnswerLimitSeconds},
      {"COM Port Control refused",
       kAddress,
       {.takes_com_port = false, .modem_state = std::nullopt},
       kRoundTrip,
       false,
       0},
      {"a server that never answers",
       kAddress,
       {.answers = false, .modem_state = std::nullopt},
       kAnswerLimitSeconds,
       false,
       0},
      {"bytes as they are",
       "tcp://server:4001",
       {.modem_state = 0x80},
       0,
       false,
       0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    Bench bench;
    bench.Serve(test.server);
    std::unique_ptr<SerialDevice> device;
    EXPECT_NEAR(bench.Timed([&] { device = bench.Open(test.address); }),
                test.open_seconds, 1e-9);
    bool carrier = false;
    EXPECT_NEAR(bench.Timed([&] { carrier = device->CarrierDetect(); }),
                test.look_seconds, 1e-9);
    EXPECT_EQ(carrier, test.carrier);
    // The wait is the first look's only.
    EXPECT_EQ(bench.Timed([&] { device->CarrierDetect(); }), 0.0);
  }
}

TEST_F(NetworkPortTest, AModemStateAfterTheWaitIsSeenAtTheNextLook) {
  Serve({.modem_state = 0x80, .modem_state_delay = 1.5});
  auto device = Open();
  EXPECT_FALSE(device->CarrierDetect());
  clock.Advance(0.5);
  EXPECT_EQ(Timed([&] { EXPECT_TRUE(device->CarrierDetect()); }), 0.0);
}

TEST_F(NetworkPortTest, LineDataIsFramedOnlyUnderComPortControl) {
  const struct {
    const char* address;
    std::string from_server;
    std::string read;
    std::string written;  // for a write of 01 ff 02
  } cases[] = {
      {kAddress, Bytes({'a', 255, 255, 'b', 255, 241, 'c'}),
       Bytes({'a', 255, 'b', 'c'}), Bytes({1, 255, 255, 2})},
      {"tcp://server:4001", Bytes({'a', 255, 255, 'b'}),
       Bytes({'a', 255, 255, 'b'}), Bytes({1, 255, 2})},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.address);
    Bench bench;
    bench.Serve({.modem_state = 0});
    auto device = bench.Open(test.address);
    const std::size_t opening = bench.server.received().size();
    bench.server.Send(test.from_server);
    EXPECT_EQ(device->BytesWaiting(), static_cast<int>(test.read.size()));
    EXPECT_TRUE(bench.server.HasUnread());  // the pump wakes for them
    EXPECT_EQ(device->ReadAll(), test.read);
    EXPECT_FALSE(bench.server.HasUnread());
    device->Write(Bytes({1, 255, 2}));
    EXPECT_EQ(bench.server.received().substr(opening), test.written);
  }
}

TEST_F(NetworkPortTest, RtsAndTheServersRequestsGoThroughTheClient) {
  Serve({.modem_state = 0});
  auto device = Open();
  const std::size_t opening = server.received().size();
  device->SetRts(false);
  server.Send(Bytes({255, 253, 24}));  // DO TERMINAL-TYPE: refused
  device->ReadAll();
  EXPECT_EQ(server.received().substr(opening),
            Sub(5, {12}) + Bytes({255, 252, 24}));
}

// What the server sent before it closed is read first; then every use of
// the port fails as a device that has gone.
TEST_F(NetworkPortTest, AServerThatClosesLeavesAPortThatHasGone) {
  Serve({.modem_state = 0x80});
  auto device = Open();
  server.Send("last");
  server.CloseAfter(0.5);
  EXPECT_EQ(device->ReadAll(), "last");
  clock.Advance(0.5);
  for (const auto& use : std::vector<std::function<void()>>{
           [&] { device->ReadAll(); }, [&] { device->BytesWaiting(); },
           [&] { device->CarrierDetect(); }, [&] { device->Write("x"); },
           [&] { device->SetRts(true); }}) {
    try {
      use();
      ADD_FAILURE() << "a use of the port after the close succeeded";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kGone);
      EXPECT_THAT(error.what(), HasSubstr(kPort));
    }
  }
}

TEST_F(NetworkPortTest, AServerThatClosesDuringTheOpenFailsIt) {
  server.on_receive = [this](const std::string&) {
    server.CloseAfter(kRoundTrip);
  };
  const double start = clock.monotonic();
  try {
    Open();
    FAIL() << "the open succeeded";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kGone);
    EXPECT_EQ(error.what(), std::string("read ") + kPort +
                                ": the server closed the connection");
  }
  EXPECT_NEAR(clock.monotonic() - start, kRoundTrip, 1e-9);  // not the limit
}

}  // namespace
}  // namespace zindo

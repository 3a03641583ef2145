// A port behind a serial server, end to end: the real relay on a port that
// names rfc2217://127.0.0.1:PORT, served by ser2net from a pseudo-terminal
// on which the test plays the device; on tcp:// to zindo-devsim --listen;
// and against small scripted servers for what ser2net cannot show. Every
// port is chosen at run time, so that runs side by side do not meet.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "exchange/request_encoder.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr auto kLimit = 20s;

const std::string kFailureMessage =
    "חלה שגיאה-יתכן שזו פתיחה נוספת של התוכנה. סגור פתיחות קודמות והפעל "
    "מחדש";

// Messages with 0xFF in them, which Telnet must escape both ways.
const std::string kMessage = Bytes({5, 0, 255, 1, 255, 255, 2});
const std::string kReply = Bytes(
    {17, 0, 129, 255, 1, 2, 3, 255, 255, 4, 5, 6, 7, 8, 9, 10, 11, 12, 255});

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif",
                       "#!/bin/sh\necho started > companion.log\n", 0755);
  }

  void StartRelay(const std::string& address) {
    sandbox_.MapPort(1, address);
    relay_ = std::make_unique<RelayProcess>(sandbox_);
  }
  bool AwaitCompanion() {
    return WaitUntil([&] { return sandbox_.Exists("work/companion.log"); },
                     kLimit);
  }
  bool AwaitResponse(const std::string& line) {
    return WaitUntil(
        [&] { return sandbox_.ReadFile("work/zindoK2.txt") == line; }, kLimit);
  }
  std::string Status() const {
    return sandbox_.ReadFile("work/zindoK.inf").value_or("");
  }
  void Quit() {
    sandbox_.WriteFile("work/ZINDOK1.TXT", Bytes({1, 0, 0, 13, 10}));
    EXPECT_EQ(relay_->WaitForExit(kLimit), 0) << relay_->Stderr();
  }
  // Runs the relay to its failure path and returns its one diagnostic.
  std::string ExpectFailure() {
    EXPECT_EQ(relay_->WaitForExit(kLimit), 1) << relay_->Stderr();
    const std::vector<std::string> lines = relay_->StderrLines();
    EXPECT_EQ(lines.size(), 2u) << relay_->Stderr();
    EXPECT_THAT(relay_->Stderr(), HasSubstr(kFailureMessage));
    return lines.empty() ? "" : lines.front();
  }

  Sandbox sandbox_;
  std::unique_ptr<RelayProcess> relay_;
};

class Ser2netTest : public NetworkTest {
 protected:
  void SetUp() override {
    if (!OnPath("ser2net")) GTEST_SKIP() << "ser2net is not installed";
    NetworkTest::SetUp();
    server_ =
        std::make_unique<Ser2netServer>(sandbox_, com1_.slave_path(), port_);
    StartRelay(address_);
    ASSERT_TRUE(AwaitCompanion()) << relay_->Stderr();
  }

  PseudoTerminal com1_;
  DeviceEnd device_{com1_};
  int port_ = FreeLoopbackPort();
  std::string address_ = "rfc2217://127.0.0.1:" + std::to_string(port_);
  std::unique_ptr<Ser2netServer> server_;
};

// The server puts the relay's settings on its line, and bytes cross it both
// ways unchanged. A pseudo-terminal has no modem lines, so ser2net never
// reports a modem state: carrier detect reads off, as on a local one.
TEST_F(Ser2netTest, SettingsArriveAndAnExchangeGoesThrough) {
  termios line{};
  ASSERT_EQ(tcgetattr(com1_.master_fd(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), B19200);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(Status(), "0,1\r\n");

  sandbox_.WriteFile("work/ZINDOK1.TXT", EncodeRequest(kMessage));
  EXPECT_EQ(device_.Receive(kMessage.size(), kLimit), kMessage);
  device_.Send(kReply);
  EXPECT_TRUE(AwaitResponse(ResponseLine(kReply)));
  EXPECT_EQ(device_.ReceiveFor(300ms), "") << "sent more than once";
  Quit();
  EXPECT_EQ(relay_->Stderr(), "");
}

// The server goes while a reply is being collected: the relay takes the
// path of an unplugged adapter, and says which server went.
TEST_F(Ser2netTest, ServerEndingMidReplyTakesTheFailurePath) {
  sandbox_.WriteFile("work/ZINDOK1.TXT", EncodeRequest(kMessage));
  ASSERT_EQ(device_.Receive(kMessage.size(), kLimit), kMessage);
  device_.Send(kReply.substr(0, 5));
  ASSERT_TRUE(
      WaitUntil([&] { return !sandbox_.Exists("work/ZINDOK1.TXT"); }, kLimit));
  std::this_thread::sleep_for(500ms);
  server_->Stop();
  EXPECT_THAT(
      ExpectFailure(),
      AllOf(HasSubstr("COM1: the serial server went away"), HasSubstr(address_),
            HasSubstr("the server closed the connection")));
  EXPECT_EQ(Status(), "0,1\r\n") << "the status is not rewritten";
}

TEST_F(NetworkTest, RefusedConnectionTakesTheFailurePath) {
  const std::string where = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  StartRelay("rfc2217://" + where);
  EXPECT_THAT(ExpectFailure(),
              HasSubstr("connect " + where + ": Connection refused"));
  EXPECT_FALSE(sandbox_.Exists("work/companion.log"));
}

// Plain TCP: bytes as they are, 0xFF included, to the device simulator.
TEST_F(NetworkTest, PlainTcpExchangeWithTheSimulator) {
  std::string reply_rule = "request: reply ";
  for (char byte : kReply) {
    reply_rule += std::to_string(static_cast<unsigned char>(byte)) + ",";
  }
  reply_rule.pop_back();
  const auto simulator = DeviceSimulator::Listening(sandbox_, {reply_rule});
  StartRelay("tcp://" + simulator->address());
  ASSERT_TRUE(AwaitCompanion()) << relay_->Stderr();
  EXPECT_EQ(Status(), "0,1\r\n");
  sandbox_.WriteFile("work/ZINDOK1.TXT", EncodeRequest(kMessage));
  EXPECT_TRUE(AwaitResponse(ResponseLine(kReply))) << simulator->Log();
  Quit();
  EXPECT_THAT(simulator->Log(), HasSubstr("255 255   2"));
}

// A server of the test's own that answers COM Port Control with `answer`
// (nothing, for one that never answers), then holds the connection until
// the relay drops it.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::string answer) : answer_(std::move(answer)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  void Serve() {
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    std::string received;
    char buffer[256];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
      received.append(buffer, static_cast<std::size_t>(got));
      if (!answer_.empty() &&
          received.find(Bytes({255, 251, 44})) != std::string::npos) {
        if (write(fd, answer_.data(), answer_.size()) < 0) break;
        answer_.clear();
      }
    }
    close(fd);
  }

  std::string answer_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Carrier detect comes from the server's modem state; a server that never
// answers anything still gets a running relay, after a bounded wait.
TEST_F(NetworkTest, CarrierDetectFollowsTheServersModemState) {
  const struct {
    std::string answer;
    std::string status;
  } cases[] = {
      {Bytes({255, 253, 44, 255, 250, 44, 107, 0x80, 255, 240}), "1,1\r\n"},
      {Bytes({255, 253, 44, 255, 250, 44, 107, 0x30, 255, 240}), "0,1\r\n"},
      {"", "0,1\r\n"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(ResponseLine(test.answer));
    ScriptedServer server(test.answer);
    StartRelay("rfc2217://127.0.0.1:" + std::to_string(server.port()));
    ASSERT_TRUE(AwaitCompanion()) << relay_->Stderr();
    EXPECT_EQ(Status(), test.status);
    Quit();
    std::filesystem::remove(sandbox_.Path("work/companion.log"));
  }
}

}  // namespace
}  // namespace zindo::e2e

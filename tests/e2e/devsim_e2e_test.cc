// The relay with zindo-devsim playing the device, as a user would try it
// without the real device: replies of every kind, a recovery cycle, and an
// adapter pulled out while the relay serves.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "exchange/request_encoder.h"
#include "gtest/gtest.h"
#include "platform/system/clock.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 20s;

const std::string kAnswer = "17,0,129,63,1,2,3,4,5,6,7,2,0,0,0,1,184,34,10";
const std::string kAnswerResponse = "/0," + kAnswer + "\r\n";
const std::string kOtherAnswer =
    "17,0,129,63,2,2,2,2,2,2,2,2,0,0,0,1,184,34,10";
const std::string kSynthetic =
    "/0,17,0,129,63,0,0,0,0,0,0,0,255,255,0,0,1,184,34,10\r\n";
// Cut to 15 bytes it is short: the template, keeping its byte 13.
const std::string kCutAnswer = "17,0,129,63,1,2,3,4,5,6,7,2,44,0,0,1,184,34,10";
const std::string kCutResponse =
    "/0,17,0,129,63,0,0,0,0,0,0,0,255,44,0,0,1,184,34,10\r\n";

// Seconds from `start`, a reading of MonotonicNow, until now.
double SecondsSince(double start) { return MonotonicNow() - start; }

class DevsimTest : public ::testing::Test {
 protected:
  // Starts the device with `rules`, then the relay, and waits until the
  // relay has started the companion.
  void Start(const std::vector<std::string>& rules) {
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif", "#!/bin/sh\ntouch started\n", 0755);
    device_ = std::make_unique<DeviceSimulator>(sandbox_, 1, rules);
    relay_ = std::make_unique<RelayProcess>(sandbox_);
    ASSERT_TRUE(
        WaitUntil([&] { return sandbox_.Exists("work/started"); }, kLimit))
        << relay_->Stderr() << device_->Log();
  }

  // The companion sends the device message `message`.
  void Send(const std::string& message) {
    sandbox_.WriteFile("work/ZINDOK1.TXT", EncodeRequest(message));
  }

  // Waits for the response file to hold `line`; returns how long it took,
  // or a negative time when it did not.
  double AwaitResponse(const std::string& line,
                       std::chrono::milliseconds limit = kLimit) {
    const double start = MonotonicNow();
    const bool seen = WaitUntil(
        [&] { return sandbox_.ReadFile("work/zindoK2.txt") == line; }, limit);
    return seen ? SecondsSince(start) : -1;
  }

  void QuitAndExpectNormalEnd() {
    sandbox_.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
    EXPECT_EQ(relay_->WaitForExit(kLimit), 0) << relay_->Stderr();
    EXPECT_EQ(relay_->Stderr(), "");
  }

  Sandbox sandbox_;
  std::unique_ptr<DeviceSimulator> device_;
  std::unique_ptr<RelayProcess> relay_;
};

TEST_F(DevsimTest, RepliesWholeSplitShortAndMissing) {
  Start({"prefix 3,0,1: reply " + kAnswer,
         "prefix 3,0,2: reply " + kOtherAnswer + " chunks 5 gap 150",
         "prefix 3,0,3: reply " + kCutAnswer + " truncate 15",
         "prefix 3,0,4: silent"});

  Send({3, 0, 1, 1, 1});
  const double whole = AwaitResponse(kAnswerResponse);
  EXPECT_GE(whole, 0.3) << device_->Log();

  // Four chunks over 0.45 s: the reply is taken whole once it holds still,
  // after the request's 0.3 s, the chunks and a steady sample.
  Send({3, 0, 2, 2, 2});
  EXPECT_GE(AwaitResponse("/0," + kOtherAnswer + "\r\n"), 0.3 + 0.45 + 0.3)
      << device_->Log();

  // Cut short: the template once it holds still. (Fewer than 13 bytes would
  // take the full 6 s, which ExchangeTest and LinkTest cover.)
  Send({3, 0, 3, 3, 3});
  EXPECT_GE(AwaitResponse(kCutResponse), 0.3) << device_->Log();

  // No answer at all: the request goes out and the response stays, up to
  // the relay's end.
  Send({3, 0, 4, 4, 4});
  EXPECT_TRUE(WaitUntil(
      [&] {
        return device_->Log().find("3   0   4   4   4") != std::string::npos;
      },
      kLimit))
      << device_->Log();
  QuitAndExpectNormalEnd();
  EXPECT_EQ(sandbox_.ReadFile("work/zindoK2.txt"), kCutResponse);
}

TEST_F(DevsimTest, EmptyFrameRecoversUntilTheDeviceAnswersTheProbe) {
  Start({"prefix 3,0,6: empty", "probe: reply " + kAnswer});

  Send({3, 0, 6, 6, 6});
  EXPECT_GE(AwaitResponse(kSynthetic, 30s), 0) << device_->Log();
  EXPECT_GE(AwaitResponse(kAnswerResponse, 10s), 0) << device_->Log();

  const std::string log = device_->Log();
  const auto closed = log.find("port closed");
  const auto opened = log.find("port opened", closed);
  const auto probe = log.find("(probe)", opened);
  EXPECT_NE(probe, std::string::npos) << log;
  QuitAndExpectNormalEnd();
}

TEST_F(DevsimTest, UnpluggedDeviceEndsTheRelayWithTheFailureMessage) {
  Start({"any: echo"});

  EXPECT_EQ(device_->Stop(), 0);

  EXPECT_EQ(relay_->WaitForExit(kLimit), 1) << relay_->Stderr();
  const std::vector<std::string> lines = relay_->StderrLines();
  ASSERT_EQ(lines.size(), 2u) << relay_->Stderr();
  EXPECT_NE(lines[1].find("חלה שגיאה"), std::string::npos);
  EXPECT_EQ(sandbox_.ReadFile("work/zindoK.inf"), "0,1\r\n");
  // The cause says what happened, on standard error and in the log.
  const std::string cause = "COM1: the device went away (adapter unplugged?)";
  EXPECT_NE(lines[0].find(cause), std::string::npos) << lines[0];
  EXPECT_NE(sandbox_.ReadFile("state/zindo-relay/zindo-relay.log")
                .value_or("")
                .find(cause),
            std::string::npos);
}

// zindo-relay --check --probe asks the device as the recovery cycle does,
// on a port of its own or through a serial server, and says what came. The
// companion's folder and configuration stay as they were.
TEST(ProbeTest, SaysWhetherTheDeviceAnswered) {
  const struct {
    const char* name;
    std::string rule;
    bool through_server;
    std::string said;
    int status;
  } cases[] = {
      {"an answer", "probe: reply " + kAnswer + " after 100", false,
       "ok       probe: the device on COM1 answered: 19 byte(s), the first ",
       0},
      {"an empty frame", "probe: empty", false,
       "warning  probe: the device on COM1 answered with an empty frame", 1},
      {"silence", "probe: silent", false,
       "PROBLEM  probe: no answer from the device on COM1 within 2 s", 1},
      {"an answer through a serial server", "probe: reply " + kAnswer, true,
       "ok       probe: the device on COM1 answered: 19 byte(s)", 0},
  };
  const std::string configuration = "1,-1,0,521,c,c:\\zindo\\,1\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    sandbox.MakeDirectory("prefix/drive_c/zindo");
    sandbox.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT", configuration);
    sandbox.WriteFile("work/autoexec.pif", "#!/bin/sh\n", 0755);
    std::unique_ptr<DeviceSimulator> device;
    if (c.through_server) {
      device = DeviceSimulator::Listening(sandbox, {c.rule});
      sandbox.MapPort(1, "tcp://" + device->address());
    } else {
      device =
          std::make_unique<DeviceSimulator>(sandbox, 1, std::vector{c.rule});
    }
    RelayProcess check(sandbox, "check", {}, {"--check", "--probe"});

    EXPECT_EQ(check.WaitForExit(kLimit), c.status) << check.Stderr();
    const std::string report = sandbox.ReadFile("check.stdout").value_or("");
    EXPECT_NE(report.find(c.said), std::string::npos) << report;
    EXPECT_NE(device->Log().find("(probe)"), std::string::npos)
        << device->Log();
    EXPECT_EQ(sandbox.List("work"), std::vector<std::string>{"autoexec.pif"});
    EXPECT_EQ(sandbox.ReadFile("prefix/drive_c/zindo/LOCAL6.DAT"),
              configuration);
  }
}

}  // namespace
}  // namespace zindo::e2e

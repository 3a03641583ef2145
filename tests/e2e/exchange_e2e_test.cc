// Requests and replies end to end, in real time: the real relay serving a
// working directory, with the test playing both the companion (writing
// request files, reading response files) and the device (at the far end of
// a pseudo-terminal).

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/system/clock.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 20s;
// Well past any wait of the relay's own, for replies that take the full
// deadline or a recovery cycle.
constexpr auto kSlowLimit = 30s;

// A complete reply of 19 bytes that all differ.
std::string Reply19() {
  std::string reply(1, 17);
  for (int i = 2; i <= 19; ++i) reply += static_cast<char>(100 + i);
  return reply;
}

const std::string kSyntheticResponse =
    "/0,17,0,129,63,0,0,0,0,0,0,0,255,255,0,0,1,184,34,10\r\n";
const std::string kProbe =
    Bytes({16, 0, 129, 127, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 161, 192, 39, 114});

// Seconds from `start`, a reading of MonotonicNow, until now.
double SecondsSince(double start) { return MonotonicNow() - start; }

class ExchangeTest : public ::testing::Test {
 protected:
  ExchangeTest() {
    sandbox_.MakeDirectory("logs");
    relay_environment_ = {"ZINDO_TRACE=" + sandbox_.Path("logs/trace.log")};
  }

  void SetUp() override {
    sandbox_.MapPort(1, com1_);
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif",
                       "#!/bin/sh\necho started > companion.log\n", 0755);
    relay_ =
        std::make_unique<RelayProcess>(sandbox_, "relay", relay_environment_);
    ASSERT_TRUE(WaitUntil([&] { return sandbox_.Exists("work/companion.log"); },
                          kLimit))
        << relay_->Stderr();
  }

  void TearDown() override {
    if (relay_->IsRunning()) QuitAndAwaitEnd();
  }

  // Ends the relay with the quit request; it must end normally.
  void QuitAndAwaitEnd() {
    sandbox_.WriteFile("work/ZINDOK1.TXT", Bytes({1, 0, 0, 13, 10}));
    EXPECT_EQ(relay_->WaitForExit(kLimit), 0) << relay_->Stderr();
    EXPECT_EQ(relay_->Stderr(), expected_stderr_);
  }

  void Request(const std::string& bytes) {
    sandbox_.WriteFile("work/ZINDOK1.TXT", bytes);
  }
  bool RequestGone() const { return !sandbox_.Exists("work/ZINDOK1.TXT"); }
  std::optional<std::string> Response() const {
    return sandbox_.ReadFile("work/zindoK2.txt");
  }
  // Waits for the response file to hold `line`; returns whether it did.
  bool AwaitResponse(const std::string& line,
                     std::chrono::milliseconds limit = kSlowLimit) {
    return WaitUntil([&] { return Response() == line; }, limit);
  }
  // Sends `reply` in one write and returns how long the relay took to report
  // it, or a negative time when it did not.
  double ReplyAndTime(const std::string& reply, const std::string& expected) {
    const double sent = MonotonicNow();
    device_.Send(reply);
    return AwaitResponse(expected) ? SecondsSince(sent) : -1;
  }
  std::string Trace() const {
    return sandbox_.ReadFile("logs/trace.log").value_or("");
  }

  Sandbox sandbox_;
  PseudoTerminal com1_;
  DeviceEnd device_{com1_};
  std::unique_ptr<RelayProcess> relay_;
  // Set before SetUp runs; the relay traces to logs/trace.log unless a
  // fixture says otherwise.
  std::vector<std::string> relay_environment_;
  std::string expected_stderr_;
};

// The companion and the device take turns, as in everyday use: every
// request is sent once and in order, however the companion writes it, and
// every reply is reported whole; the trace tells each step with its time. A
// request whose header makes the quit request ends the conversation.
TEST_F(ExchangeTest, ConversationKeepsEveryRequestAndReplyInOrder) {
  const std::string path = sandbox_.Path("work/ZINDOK1.TXT");
  const std::function<void(const std::string&)> ways_to_write[] = {
      [&](const std::string& bytes) { Request(bytes); },  // renamed in
      [&](const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;  // in place
      },
      [&](const std::string& bytes) {  // slowly
        std::ofstream out(path, std::ios::binary);
        out << bytes.substr(0, 2) << std::flush;
        std::this_thread::sleep_for(150ms);
        out << bytes.substr(2);
      }};
  std::string last_response;
  for (int turn = 1; turn <= 8; ++turn) {
    SCOPED_TRACE("turn " + std::to_string(turn));
    // Requests of growing length, each a run of its turn number.
    const int length = 2 + turn;
    ways_to_write[turn % 3](Bytes({96 + length, turn, turn, length + 1}));
    std::string sent = Bytes({length - 2, 0}) + std::string(turn, turn);
    ASSERT_EQ(device_.Receive(sent.size(), kLimit), sent);
    ASSERT_TRUE(WaitUntil([&] { return RequestGone(); }, kLimit));
    std::string reply = Reply19();
    reply[5] = static_cast<char>(turn);
    device_.Send(reply);
    last_response = ResponseLine(reply);
    ASSERT_TRUE(AwaitResponse(last_response, kLimit));
  }

  last_response.resize(last_response.size() - 2);  // without its line end
  ASSERT_TRUE(WaitUntil(
      [&] { return Trace().find(last_response) != std::string::npos; },
      kLimit));
  const std::string trace = Trace();
  const std::regex timed_lines(R"((\d\d:\d\d:\d\d\.\d{3} [^\n]+\n)+)");
  EXPECT_TRUE(std::regex_match(trace, timed_lines)) << trace;
  for (const char* event :
       {"serving COM1; companion started", "request sent: 1 0 1",
        "received 19 bytes: 17 102 103", "response written: /0,17,102,103"}) {
    EXPECT_NE(trace.find(event), std::string::npos) << event << "\n" << trace;
  }

  Request(Bytes({99, 7, 8, 0}));
  EXPECT_EQ(relay_->WaitForExit(kLimit), 0) << relay_->Stderr();
  EXPECT_EQ(sandbox_.ReadFile("work/zindoK.inf"), "0,0\r\n");
  // A request sent twice shows here or in the next turn's bytes.
  EXPECT_EQ(device_.ReceiveFor(100ms), "");
}

// A response file that another user has made a link to a file the relay's
// user may write: the response replaces the link, and the file it named
// keeps its bytes.
TEST_F(ExchangeTest, AnotherUsersLinkAtTheResponseNeverChangesItsTarget) {
  if (!RunningAsRoot()) GTEST_SKIP() << "giving a link to others needs root";
  sandbox_.WriteFile("precious.dat", "precious data");
  const std::string link = sandbox_.Path("work/zindoK2.txt");
  ASSERT_EQ(::symlink(sandbox_.Path("precious.dat").c_str(), link.c_str()), 0);
  ASSERT_EQ(::lchown(link.c_str(), kRelayUser - 1, kRelayGroup - 1), 0);

  device_.Send(Reply19());
  ASSERT_TRUE(AwaitResponse(ResponseLine(Reply19()))) << relay_->Stderr();
  struct stat entry;
  ASSERT_EQ(::lstat(link.c_str(), &entry), 0);
  EXPECT_TRUE(S_ISREG(entry.st_mode));
  EXPECT_EQ(sandbox_.ReadFile("precious.dat"), "precious data");
}

std::string Short15() {
  std::string reply = Reply19().substr(0, 15);
  reply[12] = 44;
  return reply;
}

// A reply is reported once 13 bytes or more have held still for a sample; a
// short one is replaced from the template, keeping its byte 13. Each is
// written once. Fewer bytes wait the full deadline: SteppedClockTest below
// takes that path end to end, and LinkTest times every case to the sample
// on the fake clock.
TEST_F(ExchangeTest, EachReplyIsReportedOnceItHasSettled) {
  const struct {
    const char* name;
    std::string sent;
    std::string reported;
  } replies[] = {{"complete burst", Reply19(), ResponseLine(Reply19())},
                 {"short, fifteen bytes: byte 13 kept", Short15(),
                  "/0,17,0,129,63,0,0,0,0,0,0,0,255,44,0,0,1,184,34,10\r\n"}};
  for (const auto& reply : replies) {
    SCOPED_TRACE(reply.name);
    EXPECT_GE(ReplyAndTime(reply.sent, reply.reported), 0.3)
        << relay_->Stderr();
  }
  QuitAndAwaitEnd();
  EXPECT_EQ(Response(), replies[1].reported);
  const std::string trace = Trace();
  int written = 0;
  for (auto at = trace.find("response written"); at != std::string::npos;
       at = trace.find("response written", at + 1)) {
    ++written;
  }
  EXPECT_EQ(written, 2) << trace;
}

// An empty frame sends the relay into recovery: it reports the synthetic
// reply and probes the device. While the device stays silent, a request
// ends the cycle: it goes out, the cycle does not resume, and the device's
// reply to it is reported. A malformed request then ends the relay with the
// failure message. The cycle's timing is left to the fake clock
// (LineRecoveryTest, and ExchangeTest.EmptyFrameStartsRecoveryThatARequestEnds
// in core/), and a device that answers the probe to DevsimTest.
TEST_F(ExchangeTest, SilentDeviceRecoversUntilARequestComes) {
  // Thirteen bytes or more settle at once: no 6 s wait before the cycle.
  device_.Send(Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(AwaitResponse(kSyntheticResponse)) << relay_->Stderr();
  ASSERT_EQ(device_.Receive(kProbe.size(), kLimit), kProbe);
  Request(Bytes({1, 5, 6}));
  EXPECT_EQ(device_.Receive(3, kSlowLimit), Bytes({1, 5, 6}));
  device_.Send(Reply19());
  EXPECT_TRUE(AwaitResponse(ResponseLine(Reply19()))) << relay_->Stderr();

  Request(Bytes({101, 9, 9, 4, 7}));  // ends before its fifth byte
  EXPECT_EQ(relay_->WaitForExit(kLimit), 1) << relay_->Stderr();
  EXPECT_NE(relay_->Stderr().find("zindoK1.txt"), std::string::npos);
  // A cycle that went on would have probed again, and reported over the
  // reply, before it found the malformed request.
  EXPECT_EQ(device_.ReceiveFor(100ms), "");
  EXPECT_EQ(Response(), ResponseLine(Reply19()));
}

// Where the directory cannot be watched (here because the variable says
// so), the relay lists it from time to time and serves as before; a trace
// that cannot be written is mentioned once and changes nothing else.
class PolledUntracedTest : public ExchangeTest {
 protected:
  PolledUntracedTest() {
    relay_environment_ = {"ZINDO_POLL_DIRECTORY=1",
                          "ZINDO_TRACE=" + sandbox_.Path("no-such-dir/t.log")};
  }
};

TEST_F(PolledUntracedTest, RequestsAndRepliesStillPass) {
  for (int turn = 1; turn <= 3; ++turn) {
    Request(Bytes({1, 5, turn}));
    EXPECT_EQ(device_.Receive(3, kLimit), Bytes({1, 5, turn}));
    ASSERT_TRUE(WaitUntil([&] { return RequestGone(); }, kLimit));
  }
  device_.Send(Reply19());
  EXPECT_TRUE(AwaitResponse(ResponseLine(Reply19()), kLimit));
  EXPECT_THAT(
      relay_->StderrLines(),
      ::testing::UnorderedElementsAre(
          "zindo-relay: the working directory is not watched but listed every "
          "0.25 s or more (ZINDO_POLL_DIRECTORY is set)",
          ::testing::HasSubstr("no-such-dir/t.log")));
  expected_stderr_ = relay_->Stderr();
}

// Local time steps one second into a collection: back an hour (the end of
// daylight saving time), forward an hour (its start, or a manual change), or
// back across midnight. The relay reads its clock through libfaketime, which
// takes the offset from a file at every reading; the relay's local time is
// set through it to a fixed time of day, so that the outcome does not
// depend on the hour at which the tests run. The reply, complete but too
// short to settle, is reported whole at the full deadline, neither earlier
// (a step would cut the wait short and the companion would miss the reply's
// end) nor an hour later: the one real pass of that wait.
struct ClockStep {
  const char* name;
  int starts_at;  // local seconds since midnight when the relay starts
  int step;       // seconds local time is set by
};

void PrintTo(const ClockStep& step, std::ostream* out) { *out << step.name; }

class SteppedClockTest : public ExchangeTest,
                         public ::testing::WithParamInterface<ClockStep> {
 protected:
  static constexpr char kFakeTime[] =
      "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

  SteppedClockTest() {
    // From the real time of day in UTC to the case's.
    const long real = static_cast<long>(std::time(nullptr)) % 86400;
    offset_ = GetParam().starts_at - real;
    SetOffset(offset_);
    relay_environment_ = {
        std::string("LD_PRELOAD=") + kFakeTime, "TZ=UTC",
        "FAKETIME_TIMESTAMP_FILE=" + sandbox_.Path("logs/offset"),
        "FAKETIME_NO_CACHE=1", "FAKETIME_DONT_FAKE_MONOTONIC=1",
        // A relay built with AddressSanitizer would refuse a library
        // loaded before the sanitizer's own.
        "ASAN_OPTIONS=verify_asan_link_order=0"};
  }
  void SetUp() override {
    if (!std::ifstream(kFakeTime).good()) GTEST_SKIP() << "needs libfaketime";
    ExchangeTest::SetUp();
  }
  void SetOffset(long offset) {
    sandbox_.WriteFile("logs/offset",
                       (offset < 0 ? "" : "+") + std::to_string(offset) + "\n");
  }

  long offset_ = 0;
};

TEST_P(SteppedClockTest, StepDuringACollectionNeitherShortensNorDelaysIt) {
  const double sent = MonotonicNow();
  device_.Send(Bytes({3, 0, 7, 8, 9}));  // too few to settle: 6 s deadline
  std::this_thread::sleep_for(1s);
  SetOffset(offset_ + GetParam().step);
  // Within AwaitResponse's 30 s, not an hour later.
  ASSERT_TRUE(AwaitResponse("/0,3,0,7,8,9\r\n")) << relay_->Stderr();
  EXPECT_GE(SecondsSince(sent), 6.0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SteppedClockTest,
    ::testing::Values(ClockStep{"BackWithinTheDay", 12 * 3600, -3600},
                      ClockStep{"Forward", 12 * 3600, +3600},
                      ClockStep{"BackAcrossMidnight", 30, -3600}),
    [](const auto& step) { return std::string(step.param.name); });

}  // namespace
}  // namespace zindo::e2e

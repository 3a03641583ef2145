#include "core/relay.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "base/program_name.h"
#include "base/test_bytes.h"
#include "core/port_selection.h"
#include "exchange/file_names.h"
#include "link/device_message.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kQuitBytes("\1\0\0\r\n", 5);
const std::string kDefaultLine = "1,-1,0,521,c,c:\\zindo\\,1\r\n";

class RelayTest : public ::testing::Test {
 protected:
  // The companion asks the relay to quit `seconds` after start-up.
  void QuitAfter(double seconds) {
    fake_.events.After(seconds,
                       [this] { fake_.files.Put("ZINDOK1.TXT", kQuitBytes); });
  }
  void ConfigurePort(const std::string& first_field) {
    fake_.files.PutDirectory("c:\\zindo");
    fake_.files.Put("c:\\zindo\\LOCAL6.DAT", first_field + ",-1,0,521\r\n");
  }
  int Run() { return Relay(fake_.platform).Run(); }
  int Index(const std::string& prefix) const {
    return fake_.journal.Find(prefix);
  }
  std::string Status() const { return fake_.files.Contents("zindoK.inf"); }

  FakePlatform fake_;
};

TEST_F(RelayTest, FirstRunStartsUpInOrderAndQuitEndsNormally) {
  QuitAfter(1.0);
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_THAT(
      fake_.journal.entries(),
      ElementsAre("write ZINDOK1.TXT 01 00 00 0d 0a", "mkdir c:\\zindo",
                  std::string("message ") + kDefaultPortMessage,
                  "write c:\\zindo\\LOCAL6.DAT 31 2c 2d 31 2c 30 2c 35 32 31 "
                  "2c 63 2c 63 3a 5c 7a 69 6e 64 6f 5c 2c 31 0d 0a",
                  "open COM1 19200,N,8,1", "rts on",
                  "write zindoK.inf 30 2c 31 0d 0a", "delete zindoK1.txt",
                  "launch autoexec.pif", "read zindoK1.txt",
                  "delete zindoK1.txt", "close COM1",
                  "write zindoK.inf 30 2c 30 0d 0a"));
  EXPECT_EQ(fake_.files.Contents("c:\\zindo\\LOCAL6.DAT"), kDefaultLine);
  EXPECT_EQ(Status(), "0,0\r\n");
  EXPECT_FALSE(fake_.files.Exists("ZINDOK1.TXT"));
  EXPECT_TRUE(fake_.process.diagnostics().empty());
  EXPECT_EQ(fake_.ports.line(1).written,
            "");  // the quit request never goes out
  EXPECT_THAT(fake_.log.lines,
              ElementsAre(std::string("message (c:\\zindo\\LOCAL6.DAT is "
                                      "missing) ") +
                          kDefaultPortMessage));
}

TEST_F(RelayTest, LaterRunUsesConfiguredPortQuietly) {
  ConfigurePort("3");
  fake_.ports.line(3).carrier_detect = true;
  fake_.events.After(0.5, [this] {
    EXPECT_EQ(Status(), "1,1\r\n");
    fake_.files.Put("ZINDOK1.TXT", kQuitBytes);
  });
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(fake_.journal.Count("message"), 0);
  EXPECT_EQ(fake_.journal.Count("write c:"), 0);
  EXPECT_EQ(Index("open COM3"), Index("mkdir") + 2);  // after the read
  EXPECT_EQ(fake_.ports.last_opened(), 3);
}

TEST_F(RelayTest, StartUpFailureBeforeRequestFileEndsAtOnceWithoutMessage) {
  fake_.files.FailWritesTo("ZINDOK1.TXT");
  Relay relay(fake_.platform);
  EXPECT_EQ(relay.Run(), kExitEarlyFailure);
  EXPECT_THAT(fake_.journal.entries(),
              ElementsAre("write ZINDOK1.TXT 01 00 00 0d 0a"));
  ASSERT_EQ(fake_.process.diagnostics().size(), 1u);
  EXPECT_THAT(fake_.process.diagnostics()[0], HasSubstr("Permission denied"));
  // What main() shows in a message box on Windows.
  EXPECT_THAT(relay.early_failure(), StartsWith("cannot write the request"));
  EXPECT_THAT(fake_.process.diagnostics()[0], HasSubstr(relay.early_failure()));
  EXPECT_THAT(fake_.log.lines, ElementsAre("failure " + relay.early_failure()));
}

TEST_F(RelayTest, PortThatCannotBeOpenedTakesFailurePathConfigUntouched) {
  ConfigurePort("5");
  fake_.files.Put("zindoK.inf", "0,0\r\n");  // from an earlier run
  fake_.ports.FailOpen(5, "open /tmp/gone: No such file or directory");
  EXPECT_EQ(Run(), kExitFailure);
  EXPECT_EQ(fake_.journal.entries().back(),
            std::string("message ") + kFailureMessage);
  EXPECT_EQ(fake_.message_box.titles().back(), kProgramName);
  EXPECT_EQ(fake_.journal.Count("message"), 1);
  EXPECT_THAT(fake_.process.diagnostics().back(),
              HasSubstr("COM5: open /tmp/gone: No such file or directory"));
  EXPECT_EQ(fake_.files.Contents("c:\\zindo\\LOCAL6.DAT"), "5,-1,0,521\r\n");
  EXPECT_EQ(Status(), "0,0\r\n");  // not rewritten
  EXPECT_EQ(fake_.journal.Count("launch"), 0);
  // The same cause as the diagnostic, before the message it led to.
  ASSERT_EQ(fake_.log.lines.size(), 2u);
  EXPECT_THAT(fake_.log.lines[0], StartsWith("failure "));
  EXPECT_EQ(DiagnosticLine(fake_.log.lines[0].substr(8)),
            fake_.process.diagnostics().back());
  EXPECT_EQ(fake_.log.lines[1], std::string("message ") + kFailureMessage);
}

TEST_F(RelayTest, FailingLaunchKeepsRunningStatusAndPortOpen) {
  fake_.launcher.FailWith("autoexec.pif: not executable");
  Relay relay(fake_.platform);  // alive, as the process is, until checked
  EXPECT_EQ(relay.Run(), kExitFailure);
  EXPECT_EQ(Status(), "0,1\r\n");
  EXPECT_TRUE(fake_.ports.line(1).open);  // left for the process's end
  EXPECT_EQ(fake_.journal.Count("close"), 0);
  EXPECT_THAT(fake_.process.diagnostics().back(),
              HasSubstr("autoexec.pif: not executable"));
}

TEST_F(RelayTest, UnwritableStatusFileTakesFailurePath) {
  fake_.files.FailWritesTo("zindoK.inf");
  EXPECT_EQ(Run(), kExitFailure);
  EXPECT_EQ(fake_.journal.Count("launch"), 0);
  EXPECT_EQ(fake_.journal.Count("message " + std::string(kFailureMessage)), 1);
}

TEST_F(RelayTest, DeviceGoneDuringLoopTakesFailurePath) {
  fake_.events.After(2.0, [this] { fake_.ports.line(1).gone = true; });
  EXPECT_EQ(Run(), kExitFailure);
  EXPECT_EQ(Status(), "0,1\r\n");
  // Noticed at the next look at the port, not seconds later.
  int failed_at = Index("message " + std::string(kFailureMessage));
  EXPECT_LT(fake_.journal.TimeOf(failed_at) - fake_.journal.TimeOf(0), 2.1);
}

TEST_F(RelayTest, IdleLoopWaitsForActivityAndWritesNothing) {
  QuitAfter(60.0);
  EXPECT_EQ(Run(), kExitNormal);
  int launched = Index("launch");
  EXPECT_EQ(fake_.journal.entries()[launched + 1], "read zindoK1.txt");
  // An idle minute costs few rounds: every round waits for activity.
  EXPECT_LT(fake_.events.yields(), 60 / 0.01 * 2 + 1000);
}

TEST_F(RelayTest, RequestThatVanishesBeforeHandlingIsSkipped) {
  fake_.events.After(1.0, [this] {
    fake_.files.Put("ZINDOK1.TXT", kQuitBytes);
    // Gone again at the next yield: after the poll saw it, before the
    // handler looks a second time.
    fake_.events.After(0, [this] { fake_.files.DeleteFile("ZINDOK1.TXT"); });
  });
  QuitAfter(3.0);
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(fake_.journal.Count("read zindoK1.txt"), 1);
}

// ---------------------------------------------------------------------------
// Requests and replies.

class ExchangeTest : public RelayTest {
 protected:
  FakeLine& line() { return fake_.ports.line(1); }
  void RequestAt(double seconds, const std::string& bytes) {
    fake_.events.After(
        seconds, [this, bytes] { fake_.files.Put("ZINDOK1.TXT", bytes); });
  }
  void DeviceSendsAt(double seconds, const std::string& bytes) {
    fake_.events.After(seconds, [this, bytes] { line().received += bytes; });
  }
  // Seconds from the start of the run to the first entry starting with
  // `prefix`.
  double When(const std::string& prefix) const {
    const int index = Index(prefix);
    EXPECT_GE(index, 0) << "no entry " << prefix;
    return index < 0 ? -1
                     : fake_.journal.TimeOf(index) - fake_.journal.TimeOf(0);
  }
  std::string Response() const { return fake_.files.Contents("zindoK2.txt"); }
};

TEST_F(ExchangeTest, RequestsAreDecodedSentInOrderAndDeleted) {
  RequestAt(1.0, Bytes({101, 9, 9, 4, 7, 8}));
  RequestAt(3.0, Bytes({1, 5, 6, 13, 10}));
  RequestAt(5.0, Bytes({100, 255, 6}));
  QuitAfter(7.0);
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(line().written, Bytes({3, 0, 9, 7, 8, 1, 5, 6, 2, 0, 255, 255}));
  EXPECT_EQ(fake_.journal.Count("delete zindoK1.txt"), 1 + 4);
  EXPECT_FALSE(fake_.files.Exists("ZINDOK1.TXT"));
  EXPECT_NEAR(When("output"), 1.3, 0.05);
}

// A request found in the same round as waiting bytes waits for their
// collection to end, then wins: the reply is never written.
TEST_F(ExchangeTest, RequestFoundWithWaitingBytesWinsOverTheReply) {
  RequestAt(1.0, Bytes({1, 5, 6}));
  DeviceSendsAt(1.0, Bytes({3, 0, 7, 8, 9}));
  QuitAfter(10.0);
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(line().written, Bytes({1, 5, 6}));
  EXPECT_EQ(fake_.journal.Count("write zindoK2.txt"), 0);
  EXPECT_NEAR(When("input"), 7.0, 0.1);
  EXPECT_NEAR(When("output"), 7.3, 0.1);
}

// A request that comes while a reply is being collected is noticed in the
// next round: the reply is written first, then the request is sent.
TEST_F(ExchangeTest, RequestArrivingDuringCollectionFollowsTheReply) {
  DeviceSendsAt(1.0, Bytes({3, 0, 7, 8, 9}));
  RequestAt(2.0, Bytes({1, 5, 6}));
  QuitAfter(10.0);
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(Response(), "/0,3,0,7,8,9\r\n");
  EXPECT_EQ(line().written, Bytes({1, 5, 6}));
  EXPECT_LT(When("write zindoK2.txt"), When("output"));
}

TEST_F(ExchangeTest, EmptyFrameStartsRecoveryThatARequestEnds) {
  DeviceSendsAt(1.0, Bytes({0}));
  // Collection of the empty frame ends at about 7 s and the first cycle at
  // about 13 s; the request comes in between.
  RequestAt(10.0, Bytes({1, 5, 6}));
  QuitAfter(25.0);
  EXPECT_EQ(Run(), kExitNormal);
  const DevicePackets packets = BuildDevicePackets();
  EXPECT_EQ(line().written, packets.probe + Bytes({1, 5, 6}));
  EXPECT_NEAR(When("close COM1"), 7.0, 0.1);
  EXPECT_NEAR(When("write zindoK2.txt"), 11.0, 0.1);
  EXPECT_NEAR(When("output " + HexBytes(Bytes({1, 5, 6}))), 13.3, 0.2);
  // The cycle is not resumed: one close for it, one at the end.
  EXPECT_EQ(fake_.journal.Count("close COM1"), 2);
  EXPECT_EQ(Response(),
            "/0,17,0,129,63,0,0,0,0,0,0,0,255,255,0,0,1,184,34,10\r\n");
}

// The trace tells the story of a run, in order, without changing it.
TEST_F(ExchangeTest, TraceRecordsEachStepOfAnExchange) {
  RequestAt(1.0, Bytes({1, 5, 6}));
  DeviceSendsAt(2.0, Bytes({17, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  DeviceSendsAt(9.0, Bytes({0}));
  RequestAt(20.0, Bytes({1, 0, 0}));
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_THAT(
      fake_.trace.events(),
      ElementsAre("serving COM1; companion started", "request sent: 1 5 6",
                  "10 bytes waiting: collecting a reply",
                  "received 10 bytes: 17 0 1 2 3 4 5 6 7 8",
                  "short reply: 10 of 19 bytes, replaced from the template",
                  "response written: "
                  "/0,17,0,129,63,0,0,0,0,0,0,0,255,255,0,0,1,184,34,10",
                  "1 byte waiting: collecting a reply", "received 1 byte: 0",
                  "empty frame: the line needs recovering",
                  "recovery: port closed", "recovery: port reopened",
                  "recovery: synthetic response written",
                  "recovery: probe sent", "recovery: a request is waiting",
                  "quit request", "stopped"));
}

// Gone after the handler's second look, while it lets the file settle: there
// is nothing to read, and the run fails rather than send nothing silently.
TEST_F(ExchangeTest, RequestVanishingBeforeItIsReadTakesFailurePath) {
  RequestAt(1.0, Bytes({1, 5, 6}));
  fake_.events.After(1.15, [this] { fake_.files.DeleteFile("ZINDOK1.TXT"); });
  EXPECT_EQ(Run(), kExitFailure);
  EXPECT_THAT(fake_.process.diagnostics().back(), HasSubstr("zindoK1.txt"));
  EXPECT_EQ(line().written, "");
}

class BadRequestTest : public RelayTest,
                       public ::testing::WithParamInterface<std::string> {};

TEST_P(BadRequestTest, TakesFailurePathAndSendsNothing) {
  fake_.events.After(1.0,
                     [this] { fake_.files.Put("ZINDOK1.TXT", GetParam()); });
  EXPECT_EQ(Run(), kExitFailure);
  EXPECT_THAT(fake_.process.diagnostics().back(), HasSubstr("zindoK1.txt"));
  EXPECT_EQ(fake_.journal.Count("message " + std::string(kFailureMessage)), 1);
  EXPECT_EQ(fake_.ports.line(1).written, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadRequestTest,
    ::testing::Values(std::string("\1\0", 2), Bytes({50, 1, 2, 3}),
                      Bytes({101, 9, 9, 4, 7}), Bytes({101, 9, 9}),
                      Bytes({99, 7, 7, 9}), ""),
    [](const auto& test) { return "File" + std::to_string(test.index); });

// ---------------------------------------------------------------------------
// A stop asked from outside (a signal, a log-off) ends the run as the quit
// request does, wherever the relay is waiting.

struct StopCase {
  const char* name;
  std::string request;  // written at 1 s, when not empty
  std::string reply;    // sent by the device at 1 s, when not empty
  double stop_at;
};

void PrintTo(const StopCase& stop, std::ostream* out) { *out << stop.name; }

class StopTest : public ExchangeTest,
                 public ::testing::WithParamInterface<StopCase> {
 protected:
  void StopAt(double seconds, const std::string& reason) {
    fake_.events.After(seconds,
                       [this, reason] { fake_.events.RequestStop(reason); });
  }
};

TEST_P(StopTest, EndsNormallyAtOnce) {
  const StopCase& stop = GetParam();
  if (!stop.request.empty()) RequestAt(1.0, stop.request);
  if (!stop.reply.empty()) DeviceSendsAt(1.0, stop.reply);
  StopAt(stop.stop_at, "SIGTERM");
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(Status(), "0,0\r\n");
  EXPECT_FALSE(line().open);
  EXPECT_EQ(line().written, "");
  EXPECT_EQ(Response(), "");
  // Nothing the companion wrote is taken without being sent.
  EXPECT_EQ(fake_.files.Exists("ZINDOK1.TXT"), !stop.request.empty());
  const std::vector<std::string>& trace = fake_.trace.events();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2], "stop requested: SIGTERM");
  EXPECT_EQ(trace.back(), "stopped");
  EXPECT_LT(fake_.trace.TimeOf(static_cast<int>(trace.size()) - 1) -
                fake_.journal.TimeOf(0),
            stop.stop_at + 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, StopTest,
    ::testing::Values(StopCase{"Idle", "", "", 1.0},
                      StopCase{"RequestPause", Bytes({1, 5, 6}), "", 1.15},
                      StopCase{"Collection", "", Bytes({3, 0, 7, 8, 9}), 3.0},
                      // Collection ends at about 7 s and closes the port.
                      StopCase{"RecoveryCycle", "", Bytes({0}), 8.0}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ExchangeTest, StopWhileTheFailureMessageIsShownKeepsTheFailedState) {
  fake_.launcher.FailWith("autoexec.pif: not executable");
  ConfigurePort("1");
  fake_.message_box.StopWhileShowing("SIGINT");
  Relay relay(fake_.platform);
  EXPECT_EQ(relay.Run(), kExitFailure);
  EXPECT_EQ(Status(), "0,1\r\n");
  EXPECT_TRUE(line().open);
  EXPECT_EQ(fake_.trace.events().back(), "stop requested: SIGINT");
}

// Once the request file is deleted the request is on its way: a stop during
// the yields before it is written still lets it out.
TEST_F(ExchangeTest, StopAfterTheRequestIsTakenStillSendsIt) {
  int deletes = 0;
  fake_.journal.set_on_record([&](const std::string& entry) {
    if (entry == "delete zindoK1.txt" && ++deletes == 2) {
      fake_.events.RequestStop("SIGTERM");
    }
  });
  RequestAt(1.0, Bytes({1, 5, 6}));
  EXPECT_EQ(Run(), kExitNormal);
  EXPECT_EQ(line().written, Bytes({1, 5, 6}));
  EXPECT_EQ(Status(), "0,0\r\n");
}

}  // namespace
}  // namespace zindo

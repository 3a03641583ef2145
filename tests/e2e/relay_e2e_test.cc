// The relay binary end to end: real files in a throw-away prefix and working
// directory, serial ports played by pseudo-terminals, and the companion
// played by a shell script that records each start.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using ::testing::AllOf;
using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using namespace std::chrono_literals;

// Generous limits for things that normally take milliseconds; they only keep
// a broken relay from hanging the suite.
constexpr auto kStartLimit = 20s;
constexpr auto kEndLimit = 20s;

const std::string kDefaultPortMessage =
    "com1  ניתן לשנות בתוכנת הצמצם, ברירת המחדל כעת היא";
const std::string kFailureMessage =
    "חלה שגיאה-יתכן שזו פתיחה נוספת של התוכנה. סגור פתיחות קודמות והפעל "
    "מחדש";

const std::string kDefaultConfiguration = "1,-1,0,521,c,c:\\zindo\\,1\r\n";
const std::string kQuitRequest("\x01\x00\x00\r\n", 5);
// A pseudo-terminal has no carrier detect, so a running relay says "0,1".
const std::string kRunningStatus = "0,1\r\n";
const std::string kStoppedStatus = "0,0\r\n";

const std::string kDefaultConfigurationPath = "prefix/drive_c/zindo/LOCAL6.DAT";

// Records what it finds when it starts, then appends one line per start to
// companion.log, last, so that a line there means the records are complete.
const std::string kCompanionScript = R"(#!/bin/sh
cat zindoK.inf > companion.saw-status 2>/dev/null
ls > companion.saw-files
echo started >> companion.log
)";

std::string ConfigurationForPort(const std::string& port) {
  return port + ",-1,0,521,c,c:\\zindo\\,1\r\n";
}

// A message box shows on standard error as one line: its title, then the
// text, which ends the line.
bool IsMessageLine(const std::string& line, const std::string& text) {
  return line.ends_with(text) && line.size() > text.size();
}

int CountMessageLines(const std::vector<std::string>& lines,
                      const std::string& text) {
  return static_cast<int>(std::count_if(
      lines.begin(), lines.end(),
      [&](const std::string& line) { return IsMessageLine(line, text); }));
}

std::string Lowercase(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

class RelayTest : public ::testing::Test {
 protected:
  RelayTest() {
    sandbox_.MapPort(1, com1_);
    InstallCompanion(kCompanionScript);
  }

  void InstallCompanion(const std::string& script,
                        const std::string& name = "autoexec.pif",
                        mode_t mode = 0755) {
    sandbox_.WriteFile("work/" + name, script, mode);
  }

  void WriteConfiguration(const std::string& content,
                          const std::string& path = kDefaultConfigurationPath) {
    sandbox_.MakeDirectory(
        path.substr(0, path.find_last_of('/')));  // its directory
    sandbox_.WriteFile(path, content);
  }

  std::optional<std::string> Configuration(
      const std::string& path = kDefaultConfigurationPath) const {
    return sandbox_.ReadFile(path);
  }

  std::optional<std::string> Status() const {
    return sandbox_.ReadFile("work/zindoK.inf");
  }

  // Whether the request file is there under any case of its name.
  bool RequestFilePresent() const {
    for (const std::string& name : sandbox_.List("work")) {
      if (Lowercase(name) == "zindok1.txt") return true;
    }
    return false;
  }

  int CompanionStarts() const {
    const std::string log =
        sandbox_.ReadFile("work/companion.log").value_or("");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
  }

  std::unique_ptr<RelayProcess> StartRelay(const std::string& name = "relay") {
    return std::make_unique<RelayProcess>(sandbox_, name);
  }

  // Waits until the relay has started the companion, which it does last on
  // start-up, so that the companion has started `starts` times in all.
  // Fails when the relay ends first or the limit passes.
  AssertionResult AwaitCompanion(RelayProcess& relay, int starts = 1) {
    const bool settled = WaitUntil(
        [&] { return CompanionStarts() >= starts || !relay.IsRunning(); },
        kStartLimit);
    if (CompanionStarts() >= starts) return AssertionSuccess();
    return AssertionFailure()
           << (settled ? "the relay ended before starting the companion"
                       : "the companion was not started in time")
           << "; relay stderr:\n"
           << relay.Stderr();
  }

  // Asks the relay to quit with `request` and checks that it ends normally.
  void QuitAndExpectNormalEnd(RelayProcess& relay,
                              const std::string& request = kQuitRequest) {
    sandbox_.WriteFile("work/ZINDOK1.TXT", request);
    EXPECT_EQ(relay.WaitForExit(kEndLimit), 0) << relay.Stderr();
    EXPECT_EQ(Status(), kStoppedStatus);
    EXPECT_FALSE(RequestFilePresent());
  }

  Sandbox sandbox_;
  PseudoTerminal com1_;
};

// ---------------------------------------------------------------------------
// Start-up and the port configuration.

TEST_F(RelayTest, FirstRunInEmptyPrefixWritesDefaultsAndServesPortOne) {
  auto relay = StartRelay();
  ASSERT_TRUE(AwaitCompanion(*relay));

  EXPECT_TRUE(
      std::filesystem::is_directory(sandbox_.Path("prefix/drive_c/zindo")));
  EXPECT_EQ(Configuration(), kDefaultConfiguration);
  EXPECT_EQ(CountMessageLines(relay->StderrLines(), kDefaultPortMessage), 1)
      << relay->Stderr();
  EXPECT_THAT(relay->Stderr(), Not(HasSubstr(kFailureMessage)));
  EXPECT_TRUE(PortIsHeld(com1_.slave_path()));
  EXPECT_FALSE(RequestFilePresent());
  EXPECT_EQ(Status(), kRunningStatus);
  // The companion starts after the status is written and the request file
  // is gone. (A relay that started it earlier is caught only when the
  // companion looks before the relay catches up, so this may miss it.)
  EXPECT_EQ(sandbox_.ReadFile("work/companion.saw-status"), kRunningStatus);
  const std::string seen =
      sandbox_.ReadFile("work/companion.saw-files").value_or("");
  EXPECT_THAT(Lowercase(seen), Not(HasSubstr("zindok1.txt")));

  QuitAndExpectNormalEnd(*relay);
  EXPECT_EQ(CompanionStarts(), 1);
  EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
}

// The configured port is used as it stands, without a message, and the
// configuration (found through the drive C link) is left byte for byte as it
// was; COM1, mapped too, stays untouched. The companion is found without
// regard to the case of its name, and the quit request may come without its
// line end.
TEST_F(RelayTest, ConfiguredPortThroughDriveCLinkIsUsedWithoutMessage) {
  PseudoTerminal com3;
  sandbox_.MapPort(3, com3);
  sandbox_.MakeDirectory("prefix/elsewhere");
  sandbox_.MapDriveC("prefix/elsewhere");
  const std::string configuration = ConfigurationForPort("3");
  WriteConfiguration(configuration, "prefix/elsewhere/zindo/LOCAL6.DAT");
  ASSERT_EQ(unlink(sandbox_.Path("work/autoexec.pif").c_str()), 0);
  InstallCompanion(kCompanionScript, "AUTOEXEC.PIF");

  auto relay = StartRelay();
  ASSERT_TRUE(AwaitCompanion(*relay));

  EXPECT_TRUE(PortIsHeld(com3.slave_path()));
  EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
  EXPECT_EQ(Status(), kRunningStatus);
  EXPECT_FALSE(sandbox_.Exists("prefix/drive_c"));
  QuitAndExpectNormalEnd(*relay, std::string("\x01\x00\x00", 3));
  EXPECT_EQ(Configuration("prefix/elsewhere/zindo/LOCAL6.DAT"), configuration);
  EXPECT_EQ(relay->Stderr(), "");
  EXPECT_EQ(CompanionStarts(), 1);
  EXPECT_FALSE(PortIsHeld(com3.slave_path()));
}

// Names in lower case are not the relay's: the configuration counts as
// missing on every run, and a request file is never noticed.
TEST_F(RelayTest, LowercaseNamesAreNotTheRelaysFiles) {
  PseudoTerminal com3;
  sandbox_.MapPort(3, com3);
  WriteConfiguration(ConfigurationForPort("3"),
                     "prefix/drive_c/zindo/local6.dat");

  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    auto relay = StartRelay("relay" + std::to_string(run));
    ASSERT_TRUE(AwaitCompanion(*relay, run));
    EXPECT_EQ(CountMessageLines(relay->StderrLines(), kDefaultPortMessage), 1)
        << relay->Stderr();
    EXPECT_TRUE(PortIsHeld(com1_.slave_path()));
    EXPECT_FALSE(PortIsHeld(com3.slave_path()));
    // Rewritten under the name it is stored with.
    EXPECT_THAT(sandbox_.List("prefix/drive_c/zindo"),
                ElementsAre("local6.dat"));
    EXPECT_EQ(Configuration("prefix/drive_c/zindo/local6.dat"),
              kDefaultConfiguration);
    if (run == 1) {
      sandbox_.WriteFile("work/zindok1.txt", kQuitRequest);
      // A reply that comes after it is written as the response only when
      // the relay, polling with the file there, took no request: one taken
      // would have dropped the reply, or ended the relay before it came.
      const std::string reply = Bytes(
          {17, 0, 129, 63, 1, 2, 3, 4, 5, 6, 7, 2, 0, 0, 0, 1, 184, 34, 10});
      DeviceEnd(com1_).Send(reply);
      EXPECT_TRUE(WaitUntil(
          [&] {
            return sandbox_.ReadFile("work/zindoK2.txt") == ResponseLine(reply);
          },
          kEndLimit))
          << relay->Stderr();
      EXPECT_TRUE(relay->IsRunning());
      EXPECT_EQ(sandbox_.ReadFile("work/zindok1.txt"), kQuitRequest);
      // Out of the way: with both names present, which one the relay's
      // case-blind look-ups reach is not defined.
      ASSERT_EQ(unlink(sandbox_.Path("work/zindok1.txt").c_str()), 0);
    }
    QuitAndExpectNormalEnd(*relay);
    EXPECT_EQ(CompanionStarts(), run);
  }
}

// ---------------------------------------------------------------------------
// A second relay in the same working directory ends the first through the
// quit request it writes on start-up, then fails itself. The first one's
// companion outlives it, and the port must not stay held through it.

TEST_F(RelayTest, SecondRelayEndsFirstWhoseCompanionLivesOn) {
  WriteConfiguration(kDefaultConfiguration);
  // Lives until companion.stop appears (or 30 s pass).
  InstallCompanion(kCompanionScript +
                   "echo $$ > companion.pid\n"
                   "i=0\n"
                   "while [ ! -e companion.stop ] && [ $i -lt 300 ]; do\n"
                   "  sleep 0.1; i=$((i+1))\n"
                   "done\n");
  struct StopCompanion {
    Sandbox& sandbox;
    ~StopCompanion() {
      sandbox.WriteFile("work/companion.stop", "");
      const auto pid = sandbox.ReadFile("work/companion.pid");
      if (pid.has_value() && !pid->empty()) kill(std::stoi(*pid), SIGKILL);
    }
  } stop_companion{sandbox_};

  auto first = StartRelay("first");
  ASSERT_TRUE(AwaitCompanion(*first));
  ASSERT_TRUE(WaitUntil([&] { return sandbox_.Exists("work/companion.pid"); },
                        kStartLimit));
  auto second = StartRelay("second");
  EXPECT_EQ(first->WaitForExit(kEndLimit), 0) << first->Stderr();
  EXPECT_EQ(second->WaitForExit(kEndLimit), 1) << second->Stderr();

  EXPECT_EQ(CountMessageLines(second->StderrLines(), kFailureMessage), 1)
      << second->Stderr();
  EXPECT_EQ(first->Stderr(), "");
  EXPECT_EQ(CompanionStarts(), 1);
  EXPECT_EQ(Status(), kStoppedStatus);
  const int companion = std::stoi(*sandbox_.ReadFile("work/companion.pid"));
  ASSERT_EQ(kill(companion, 0), 0) << "the companion should still run";
  EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
}

// ---------------------------------------------------------------------------
// The failure path: one diagnostic line, the failure message, exit status 1.

class FailurePathTest : public RelayTest {
 protected:
  // Runs the relay to its end and checks the failure path's common marks.
  // Returns the diagnostic lines other than the message.
  std::vector<std::string> RunExpectingFailure() {
    RelayProcess relay(sandbox_);
    EXPECT_EQ(relay.WaitForExit(kEndLimit), 1) << relay.Stderr();
    const std::vector<std::string> lines = relay.StderrLines();
    EXPECT_EQ(CountMessageLines(lines, kFailureMessage), 1) << relay.Stderr();
    std::vector<std::string> diagnostics;
    for (const std::string& line : lines) {
      if (!IsMessageLine(line, kFailureMessage)) {
        diagnostics.push_back(line);
      }
    }
    EXPECT_EQ(diagnostics.size(), 1u) << relay.Stderr();
    return diagnostics;
  }
};

// A port held by another program the way serial programs hold one
// (exclusive mode and a lock), then one that cannot be opened (COM5 is
// mapped, but its device is not there): the diagnostic names the port and
// why, and nothing is started.
TEST_F(FailurePathTest, PortThatCannotBeTaken) {
  WriteConfiguration(kDefaultConfiguration);
  const int holder =
      open(com1_.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const auto held = RunExpectingFailure();
  ioctl(holder, TIOCNXCL);
  close(holder);
  EXPECT_THAT(held, ElementsAre(AllOf(HasSubstr(com1_.slave_path()),
                                      HasSubstr("in use by another program "
                                                "(a relay that is still "
                                                "running?)"))));
  EXPECT_FALSE(sandbox_.Exists("work/zindoK.inf"));

  sandbox_.MapPort(5, sandbox_.Path("prefix/no-such-device"));
  const std::string configuration = ConfigurationForPort("5");
  WriteConfiguration(configuration);
  const auto missing = RunExpectingFailure();
  EXPECT_THAT(missing,
              ElementsAre(AllOf(HasSubstr("COM5"),
                                HasSubstr("no such port on this PC (it has "
                                          "COM1)"))));
  EXPECT_EQ(Configuration(), configuration);
  EXPECT_FALSE(sandbox_.Exists("work/zindoK.inf"));
  EXPECT_EQ(CompanionStarts(), 0);
  EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
  // The quit request written first thing on start-up is still there.
  EXPECT_EQ(sandbox_.ReadFile("work/ZINDOK1.TXT"), kQuitRequest);
}

TEST_F(FailurePathTest, DeviceGoingAwayWhileServing) {
  WriteConfiguration(kDefaultConfiguration);
  RelayProcess relay(sandbox_);
  ASSERT_TRUE(AwaitCompanion(relay));

  com1_.CloseMaster();

  EXPECT_EQ(relay.WaitForExit(kEndLimit), 1) << relay.Stderr();
  EXPECT_EQ(CountMessageLines(relay.StderrLines(), kFailureMessage), 1)
      << relay.Stderr();
  EXPECT_EQ(Status(), kRunningStatus) << "the status is not rewritten";
}

// A companion that is missing, or cannot be executed.
TEST_F(FailurePathTest, CompanionThatCannotBeStarted) {
  WriteConfiguration(kDefaultConfiguration);
  const std::string companion = sandbox_.Path("work/autoexec.pif");
  for (const bool missing : {true, false}) {
    SCOPED_TRACE(missing ? "missing" : "not executable");
    if (missing) {
      ASSERT_EQ(unlink(companion.c_str()), 0);
    } else {
      InstallCompanion(kCompanionScript, "autoexec.pif", 0644);
    }

    const auto diagnostics = RunExpectingFailure();

    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_THAT(Lowercase(diagnostics[0]), HasSubstr("autoexec.pif"));
    EXPECT_EQ(Status(), kRunningStatus) << "the status is not rewritten";
    EXPECT_EQ(CompanionStarts(), 0);
    EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
  }
}

// Where nobody saw the relay end (a menu launcher's output goes to the
// journal, a Windows program has no console), its log, in a folder it
// makes, keeps the same cause and the message shown, each with the local
// date and time, which libfaketime fixes.
TEST_F(FailurePathTest, FailedStartLeavesItsCauseWithTheTimeInTheLog) {
  constexpr char kFakeTime[] =
      "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
  if (!std::ifstream(kFakeTime).good()) GTEST_SKIP() << "needs libfaketime";
  sandbox_.MapPort(5, sandbox_.Path("prefix/no-such-device"));
  WriteConfiguration(ConfigurationForPort("5"));

  RelayProcess relay(
      sandbox_, "relay",
      {std::string("LD_PRELOAD=") + kFakeTime, "TZ=UTC",
       "FAKETIME=2026-12-08 14:03:22", "FAKETIME_DONT_FAKE_MONOTONIC=1",
       "ASAN_OPTIONS=verify_asan_link_order=0"});

  ASSERT_EQ(relay.WaitForExit(kEndLimit), 1) << relay.Stderr();
  const std::string cause = relay.StderrLines().at(0);
  ASSERT_THAT(cause, AllOf(StartsWith("zindo-relay: "), HasSubstr("COM5")));
  EXPECT_EQ(sandbox_.ReadFile("state/zindo-relay/zindo-relay.log"),
            "2026-12-08 14:03:22 " + cause.substr(13) +
                "\n"
                "2026-12-08 14:03:22 message shown: " +
                kFailureMessage + "\n");
}

TEST_F(RelayTest, UnwritableWorkingDirectoryIsAnEarlyFailure) {
  const std::string work = sandbox_.work();
  ASSERT_EQ(chmod(work.c_str(), 0555), 0);
  struct RestoreMode {
    std::string path;
    ~RestoreMode() { chmod(path.c_str(), 0755); }
  } restore{work};

  RelayProcess relay(sandbox_);

  EXPECT_EQ(relay.WaitForExit(kEndLimit), 2) << relay.Stderr();
  EXPECT_FALSE(sandbox_.Exists("prefix/drive_c"));
  EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
}

}  // namespace
}  // namespace zindo::e2e

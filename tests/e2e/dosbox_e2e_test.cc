// The relay starting a DOS companion in DOSBox from a real autoexec.pif: the
// companion sends requests through the files, the device simulator answers,
// and the companion keeps the responses it read. Polling with FindFirst works
// without a display too, where nothing empties DOSBox's directory cache: the
// idle helper answers the look-up, as DOSBox would with a fresh cache.
// DOSBox-X and DOSBox Staging, built for the tests by `make other-dosboxes`,
// run both companions with and without a display.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/error.h"
#include "dos/dosbox_settings.h"
#include "dos/program_information.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/desktop/desktop-posix.h"
#include "platform/programs/spawn-posix.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;
using namespace std::chrono_literals;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A compiled companion (tests/dos/companion.asm) in DOSBox, with or without
// a display.
struct CompiledCompanion {
  std::string program;  // as assembled
  bool display;
  bool in_batch = false;  // started by a batch file the PIF names
};

std::ostream& operator<<(std::ostream& out, const CompiledCompanion& c) {
  return out << c.program << (c.in_batch ? " in a batch file" : "")
             << (c.display ? " on a display" : " without one");
}

// 13 and 14 bytes: each reply settles at once and gives a response of its
// own length.
const std::string kFirstReply = "11,0,1,2,3,4,5,6,7,8,9,10,11";
const std::string kSecondReply = "12,0,1,2,3,4,5,6,7,8,9,10,11,12";

class DosboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    if (FindProgram("dosbox", path == nullptr ? "" : path).empty()) {
      GTEST_SKIP() << "dosbox is not installed (Debian package dosbox; "
                      "make deps installs it)";
    }
  }

  // A DOSBox that outlives a failed test is killed outright.
  void TearDown() override {
    for (pid_t pid : DosboxProcessesIn(sandbox_)) ::kill(pid, SIGKILL);
  }

  Sandbox sandbox_;
};

// The companion's folder in `sandbox` as the relay finds it: drive C:,
// LOCAL6.DAT, the assembled `program` as CO.COM and `pif`, and `dosbox`
// named in dosbox-path.txt unless it is "". Returns the relay's
// environment: its trace and its home in the sandbox.
std::vector<std::string> PutCompanion(Sandbox& sandbox,
                                      const std::string& program,
                                      const ProgramInformation& pif,
                                      const std::string& dosbox) {
  sandbox.MakeDirectory("home/.config");
  sandbox.MapDriveC("work");
  sandbox.MakeDirectory("work/zindo");
  sandbox.WriteFile("work/zindo/LOCAL6.DAT", "1,-1,0,521,c,c:\\zindo\\,1\r\n");
  sandbox.WriteFile("work/CO.COM",
                    ReadAll(std::string(ZINDO_DOS_COMPANIONS) + "/" + program));
  sandbox.WriteFile("work/autoexec.pif", BuildProgramInformation(pif));
  if (!dosbox.empty()) {
    sandbox.WriteFile("prefix/dosbox-path.txt",
                      CopyProgramInto(sandbox, dosbox) + "\n");
  }
  return {"ZINDO_TRACE=" + sandbox.Path("work/trace.log"),
          "HOME=" + sandbox.Path("home"),
          "XDG_CONFIG_HOME=" + sandbox.Path("home/.config")};
}

// The relay runs the compiled companion in DOSBox (the one on PATH, or
// `dosbox` when given, named in dosbox-path.txt) with or without a display;
// the companion writes GOT.TXT with both responses it read. Returns the
// relay's trace.
std::string ExpectEveryResponseSeen(Sandbox& sandbox,
                                    const CompiledCompanion& companion,
                                    const std::string& dosbox) {
  const bool display = companion.display;
  std::optional<VirtualDisplay> virtual_display;
  std::vector<std::string> environment =
      PutCompanion(sandbox, companion.program,
                   {companion.in_batch ? "GO.BAT" : "CO.COM", "", ""}, dosbox);
  if (display) {
    virtual_display.emplace();
    EXPECT_NE(virtual_display->name(), "") << "Xvfb did not start";
    environment.push_back("DISPLAY=" + virtual_display->name());
  }
  sandbox.WriteFile("work/GO.BAT", "CO.COM\r\n");
  DeviceSimulator device(sandbox, 1,
                         {"prefix 1,0,67: reply " + kFirstReply,
                          "prefix 2,0,67,68: reply " + kSecondReply});
  RelayProcess relay(sandbox, "relay", environment);

  // The companion writes GOT.TXT when it has both responses, or gives up.
  EXPECT_TRUE(WaitUntil(
      [&] { return sandbox.ReadFile("work/GOT.TXT").has_value(); }, 60s));
  EXPECT_EQ(sandbox.ReadFile("work/GOT.TXT"),
            "/0," + kFirstReply + "\r\n/0," + kSecondReply + "\r\n")
      << relay.Stderr() << device.Log()
      << sandbox.ReadFile("work/trace.log").value_or("")
      << "files:" << ::testing::PrintToString(sandbox.List("work"))
      << sandbox.ReadFile("relay.stdout").value_or("");
  // Files the relay created are stored as DOS names them.
  EXPECT_THAT(sandbox.List("work"), Contains("ZINDOK.INF"));
  EXPECT_THAT(relay.Stderr(), Not(HasSubstr("DOSBox")));
  // The companion has ended, and DOSBox with it, as its window closes for
  // the user: even where the relay's flush emptied DOSBox's own drive.
  EXPECT_TRUE(
      WaitUntil([&] { return DosboxProcessesIn(sandbox).empty(); }, 20s))
      << "DOSBox runs on after the companion ended";

  sandbox.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  EXPECT_EQ(relay.WaitForExit(10s), 0) << relay.Stderr();
  EXPECT_EQ(sandbox.ReadFile("work/ZINDOK.INF"), "0,0\r\n");
  return sandbox.ReadFile("work/trace.log").value_or("");
}

class CompiledCompanionTest
    : public DosboxTest,
      public ::testing::WithParamInterface<CompiledCompanion> {};

TEST_P(CompiledCompanionTest, SeesEveryResponseTheRelayWrites) {
  if (GetParam().display && !OnPath("Xvfb")) {
    GTEST_SKIP() << "Xvfb is not installed";
  }
  ExpectEveryResponseSeen(sandbox_, GetParam(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Dosbox, CompiledCompanionTest,
    ::testing::Values(CompiledCompanion{"FINDPOLL.COM", true},
                      CompiledCompanion{"FINDPOLL.COM", false},
                      CompiledCompanion{"OPENPOLL.COM", false}),
    [](const auto& test) {
      std::string name = test.param.program.substr(0, 8);
      return name + (test.param.display ? "OnADisplay" : "WithoutADisplay");
    });

// A companion in another line of DOSBox, which the tests find through the
// environment variable `variable` (set by `make test` once
// `make other-dosboxes` has built it).
struct OtherLineRun {
  const char* variable;
  const char* line;  // as the trace names it
  CompiledCompanion companion;
};

std::ostream& operator<<(std::ostream& out, const OtherLineRun& run) {
  return out << run.line << ", " << run.companion;
}

// A test over runs of `Run` in a sandbox of its own, which ends every DOSBox
// still running there, however the test ended.
template <typename Run>
class DosboxSandboxTest : public ::testing::TestWithParam<Run> {
 protected:
  void TearDown() override {
    for (pid_t pid : DosboxProcessesIn(sandbox_)) ::kill(pid, SIGKILL);
  }

  Sandbox sandbox_;
};

class OtherDosboxLineTest : public DosboxSandboxTest<OtherLineRun> {};

// Both companions see every response in DOSBox-X and DOSBox Staging, with
// and without a display, and the relay says which line it ran. Neither
// line writes its user's settings or shell history.
TEST_P(OtherDosboxLineTest, CompanionSeesEveryResponse) {
  const OtherLineRun& run = GetParam();
  const char* program = std::getenv(run.variable);
  if (program == nullptr || *program == '\0') {
    GTEST_SKIP() << run.line << " was not built for the tests (" << run.variable
                 << " is not set): `make other-dosboxes` builds it from "
                    "../shared/third_party, when those sources are there";
  }
  if (run.companion.display && !OnPath("Xvfb")) {
    GTEST_SKIP() << "Xvfb is not installed";
  }
  const std::string trace =
      ExpectEveryResponseSeen(sandbox_, run.companion, program);
  EXPECT_THAT(trace, HasSubstr(std::string("run as ") + run.line)) << trace;
  std::vector<std::string> written;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(
           sandbox_.Path("home"), ignored)) {
    written.push_back(entry.path().filename());
  }
  EXPECT_THAT(written, Not(Contains("dosbox-staging.conf")));
  EXPECT_THAT(written, Not(Contains("shell_history.txt")));
}

std::vector<OtherLineRun> OtherLineRuns() {
  std::vector<OtherLineRun> runs;
  for (const auto& [variable, line] :
       {std::pair{"ZINDO_DOSBOX_X", "DOSBox-X"},
        std::pair{"ZINDO_DOSBOX_STAGING", "DOSBox Staging"}}) {
    for (const bool display : {true, false}) {
      for (const char* program : {"OPENPOLL.COM", "FINDPOLL.COM"}) {
        runs.push_back({variable, line, {program, display}});
      }
    }
  }
  // A batch file that Staging's flush would leave at its prompt.
  runs.push_back({"ZINDO_DOSBOX_STAGING",
                  "DOSBox Staging",
                  {"OPENPOLL.COM", true, /*in_batch=*/true}});
  return runs;
}

INSTANTIATE_TEST_SUITE_P(
    OtherLines, OtherDosboxLineTest, ::testing::ValuesIn(OtherLineRuns()),
    [](const auto& test) {
      std::string name = test.param.line;
      std::erase(name, ' ');
      std::erase(name, '-');
      return name + "_" + test.param.companion.program.substr(0, 8) +
             (test.param.companion.in_batch ? "_InABatch" : "") +
             (test.param.companion.display ? "_OnADisplay"
                                           : "_WithoutADisplay");
    });

// A line of DOSBox as the tests find it, and what its title bar starts
// with: the PIF's title where the line can name its window, else its own.
struct ScreenRun {
  const char* variable;  // names the built program; "" for `dosbox` on PATH
  const char* line;      // as the trace names it
  const char* title;
};

std::ostream& operator<<(std::ostream& out, const ScreenRun& run) {
  return out << run.line;
}

class CompanionScreenTest : public DosboxSandboxTest<ScreenRun> {};

// The companion starts on a screen of its own in every line: none of the
// relay's commands, none of their answers, none of its folders and no
// banner (tests/dos/screen.asm saves the screen it finds); its window is
// named after it where the line can name it.
TEST_P(CompanionScreenTest, CompanionStartsOnAScreenOfItsOwn) {
  const ScreenRun& run = GetParam();
  const char* path = std::getenv("PATH");
  const char* built = std::getenv(run.variable);
  const std::string program =
      *run.variable == '\0' ? FindProgram("dosbox", path == nullptr ? "" : path)
                            : std::string(built == nullptr ? "" : built);
  if (program.empty()) {
    GTEST_SKIP() << run.line << " is not here (the Debian package dosbox, or "
                 << run.variable << " set by `make other-dosboxes`)";
  }
  if (!OnPath("Xvfb") || !OnPath("xdotool")) {
    GTEST_SKIP() << "Xvfb or xdotool is not installed";
  }
  VirtualDisplay display;
  ASSERT_NE(display.name(), "") << "Xvfb did not start";
  std::vector<std::string> environment = PutCompanion(
      sandbox_, "SCREEN.COM", {"CO.COM", "", "", "Shop Orders"}, program);
  sandbox_.MakeDirectory("tmp");
  environment.push_back("TMPDIR=" + sandbox_.Path("tmp"));
  environment.push_back("DISPLAY=" + display.name());
  DeviceSimulator device(sandbox_, 1, {});
  RelayProcess relay(sandbox_, "relay", environment);

  // The program writes the file whole at once, then stays a while.
  std::string screen;
  EXPECT_TRUE(WaitUntil(
      [&] {
        screen = sandbox_.ReadFile("work/SCREEN.TXT").value_or("");
        return screen.size() == 25 * 82;
      },
      60s))
      << relay.Stderr();
  // Its window, found by its process: a UTF-8 name escapes a search by name.
  std::string title;
  for (pid_t pid : DosboxProcessesIn(sandbox_)) {
    title = display.Run(
        "sh -c 'for w in $(timeout 20 xdotool search --sync --pid " +
        std::to_string(pid) +
        "); do xdotool getwindowname $w; done | grep -v ^$ | tail -n 1'");
  }
  for (const std::string& ours : {std::string("mount"), std::string("MOUNT"),
                                  std::string("IDLEHELP"), sandbox_.Path("")}) {
    EXPECT_THAT(screen, Not(HasSubstr(ours))) << screen;
  }
  // Nothing at all, not even a banner: the screen is the companion's alone.
  EXPECT_EQ(screen.find_first_not_of(" \r\n"), std::string::npos) << screen;
  EXPECT_THAT(title, ::testing::StartsWith(run.title));

  for (pid_t pid : DosboxProcessesIn(sandbox_)) ::kill(pid, SIGKILL);
  sandbox_.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  EXPECT_EQ(relay.WaitForExit(10s), 0) << relay.Stderr();
  EXPECT_THAT(sandbox_.ReadFile("work/trace.log").value_or(""),
              HasSubstr(std::string("run as ") + run.line));
}

INSTANTIATE_TEST_SUITE_P(
    EveryLine, CompanionScreenTest,
    ::testing::Values(ScreenRun{"", "DOSBox", "DOSBox"},
                      ScreenRun{"ZINDO_DOSBOX_X", "DOSBox-X", "Shop Orders"},
                      ScreenRun{"ZINDO_DOSBOX_STAGING", "DOSBox Staging",
                                "Shop Orders"}),
    [](const auto& test) {
      std::string name = test.param.line;
      std::erase(name, ' ');
      std::erase(name, '-');
      return name;
    });

// What tests/dos/probe.asm reported of one look-up: "W" when a timer tick
// passed during it, then DOS's carry flag and AX.
struct LookUp {
  std::string mark;
  std::string result;
};

// PROBE.TXT by line label; its first line under "HELPER".
std::map<std::string, LookUp> ReadProbeReport(const std::string& text) {
  std::map<std::string, LookUp> report;
  std::istringstream lines(text);
  std::string label, mark, carry, ax;
  while (lines >> label >> mark) {
    if (label == "HELPER") {
      report[label] = {mark, ""};
    } else if (lines >> carry) {
      if (label != "OTHERS") lines >> ax;
      report[label] = {mark, carry + " " + ax};
    }
  }
  return report;
}

// The probe run by the relay as its companion, while the status file
// exists and the response file does not, with `user_settings` as the
// user's dosbox.conf. The relay hands DOSBox the helper in a folder under
// `sandbox`'s tmp/, which must be gone once the relay has ended.
std::map<std::string, LookUp> RunProbe(Sandbox& sandbox,
                                       const std::string& user_settings) {
  sandbox.MapDriveC("work");
  sandbox.MakeDirectory("work/zindo");
  sandbox.MakeDirectory("tmp");
  sandbox.WriteFile("work/zindo/LOCAL6.DAT", "1,-1,0,521,c,c:\\zindo\\,1\r\n");
  sandbox.WriteFile("prefix/dosbox.conf", user_settings);
  sandbox.WriteFile("work/PROBE.COM",
                    ReadAll(std::string(ZINDO_DOS_COMPANIONS) + "/PROBE.COM"));
  sandbox.WriteFile("work/autoexec.pif",
                    BuildProgramInformation({"PROBE.COM", "", ""}));
  DeviceSimulator device(sandbox, 1, {});
  RelayProcess relay(sandbox, "relay", {"TMPDIR=" + sandbox.Path("tmp")});
  // The probe creates the file empty, then writes the report whole, which
  // ends with the OTHERS line.
  std::string text;
  const bool reported = WaitUntil(
      [&] {
        text = sandbox.ReadFile("work/PROBE.TXT").value_or("");
        return text.find("OTHERS") != std::string::npos &&
               text.ends_with("\r\n");
      },
      60s);
  sandbox.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  EXPECT_TRUE(reported) << relay.Stderr();
  EXPECT_EQ(relay.WaitForExit(10s), 0) << relay.Stderr();
  EXPECT_THAT(sandbox.List("tmp"), IsEmpty());
  EXPECT_THAT(relay.Stderr(), Not(HasSubstr("dosbox.conf")));
  for (pid_t pid : DosboxProcessesIn(sandbox)) ::kill(pid, SIGKILL);
  std::printf("%s", text.c_str());
  return ReadProbeReport(text);
}

// A companion's failed look-ups of the relay's own files wait for the next
// timer tick, in every form a DOS program may use; what DOS returns stays
// the same, and other names are not slowed. Turned off, no helper is there.
TEST_F(DosboxTest, IdleHelperWaitsOnlyWhereTheRelaysFilesAreMissing) {
  std::map<std::string, LookUp> with = RunProbe(sandbox_, "");
  Sandbox other;
  std::map<std::string, LookUp> without =
      RunProbe(other, "[zindo-relay]\nidlehelper=false\n");

  EXPECT_EQ(with["HELPER"].mark, "YES");
  EXPECT_EQ(without["HELPER"].mark, "NO");
  ASSERT_THAT(with, SizeIs(15));
  for (const auto& [label, look_up] : with) {
    if (label == "HELPER" || label == "OTHERS") continue;
    SCOPED_TRACE(label);
    EXPECT_EQ(look_up.result, without[label].result);
    // Look-ups that succeed (the status file exists) go on at once.
    if (!label.starts_with("STATUS-OPEN") &&
        !label.starts_with("STATUS-ATTRIBUTES")) {
      EXPECT_EQ(look_up.mark, "W");
    }
  }
  // Of 1,000 look-ups of other missing names, each would wait a tick (55
  // ms) if the helper held them up; a tick passes during a few at most.
  EXPECT_LT(std::stoi(with["OTHERS"].mark, nullptr, 16), 50)
      << "ticks for all: with the helper " << with["OTHERS"].result
      << ", without " << without["OTHERS"].result;
}

// ORACLE.TXT (tests/dos/oracle.asm) by line label.
std::map<std::string, std::string> ReadOracleReport(const std::string& text) {
  std::map<std::string, std::string> report;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t space = line.find(' ');
    report[line.substr(0, space)] =
        space == std::string::npos ? "" : line.substr(space + 1);
  }
  return report;
}

// Without a display nothing empties DOSBox's directory cache, so DOSBox's
// own FindFirst misses the response the relay wrote after it listed the
// folder. The helper's answer to the exact name is the entry DOSBox gives
// for the same file once RESCAN has emptied the cache, byte for byte from
// the attribute to the name's NUL, with or without drive and directory and
// in any case; a FindNext after it finds no more.
TEST_F(DosboxTest, HelperFindsTheResponseAsDosboxDoesWithAFreshCache) {
  sandbox_.MapDriveC("work");
  sandbox_.MakeDirectory("work/zindo");
  sandbox_.WriteFile("work/zindo/LOCAL6.DAT", "1,-1,0,521,c,c:\\zindo\\,1\r\n");
  sandbox_.WriteFile(
      "work/ORACLE.COM",
      ReadAll(std::string(ZINDO_DOS_COMPANIONS) + "/ORACLE.COM"));
  sandbox_.WriteFile("work/ORACLE.BAT", "ORACLE A\r\nRESCAN\r\nORACLE B\r\n");
  sandbox_.WriteFile("work/autoexec.pif",
                     BuildProgramInformation({"ORACLE.BAT", "", ""}));
  DeviceSimulator device(sandbox_, 1, {"prefix 1,0,67: reply " + kFirstReply});
  RelayProcess relay(sandbox_, "relay",
                     {"ZINDO_TRACE=" + sandbox_.Path("work/trace.log")});

  std::string text;
  EXPECT_TRUE(WaitUntil(
      [&] {
        text = sandbox_.ReadFile("work/ORACLE.TXT").value_or("");
        return text.ends_with("END\r\n");
      },
      60s))
      << relay.Stderr() << device.Log()
      << sandbox_.ReadFile("work/trace.log").value_or("");
  std::map<std::string, std::string> report = ReadOracleReport(text);
  EXPECT_THAT(report, Contains(::testing::Key("SAME"))) << text;
  // Attribute: archive; the size: the response "/0,<reply>\r\n"; the name.
  const std::string response = "/0," + kFirstReply + "\r\n";
  char size[9];
  std::snprintf(size, sizeof size, "%02X000000",
                static_cast<unsigned>(response.size()));
  EXPECT_EQ(report["HELPER"].substr(0, 2), "20") << text;
  EXPECT_EQ(report["HELPER"].substr(10, 8), size) << text;
  EXPECT_EQ(report["HELPER"].substr(18, 24), "5A494E444F4B322E54585400")
      << text;
  EXPECT_EQ(report["NEXT"], "1 0012");  // no more files
  // The same file as c:\zindok2.txt: the same entry.
  EXPECT_EQ(report["PATH"], "0 0000 SAME");
  EXPECT_EQ(report["STALE"], "1 0012");  // DOSBox's own search missed it
  EXPECT_EQ(report["FRESH"], "0 0000");  // and found it after RESCAN
  EXPECT_EQ(sandbox_.ReadFile("work/ZINDOK2.TXT"), response);

  sandbox_.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  EXPECT_EQ(relay.WaitForExit(10s), 0) << relay.Stderr();
}

// The relay's side of the flush on a display with no DOSBox: each failure
// says why, and an X server that goes away does not take the relay with it.
TEST(DesktopTest, SaysWhyAKeyCannotBeSentAndOutlivesTheXServer) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  std::optional<VirtualDisplay> display(std::in_place);
  ASSERT_NE(display->name(), "") << "Xvfb did not start";
  PosixDesktop desktop(display->name(), "");
  const auto failure = [&] {
    try {
      desktop.SendControlFunctionKey(1, kFlushCacheFunctionKey);
    } catch (const Error& error) {
      return std::string(error.what());
    }
    return std::string("sent");
  };

  EXPECT_THAT(failure(), HasSubstr("process 1 has no window"));
  display.reset();
  EXPECT_THAT(failure(), HasSubstr("was lost"));
  EXPECT_THAT(failure(), HasSubstr("cannot be opened"));
  PosixDesktop no_display("", "wayland-0");
  EXPECT_TRUE(no_display.HasDisplay());
  EXPECT_THROW(no_display.SendControlFunctionKey(1, kFlushCacheFunctionKey),
               Error);
}

}  // namespace
}  // namespace zindo::e2e

#include "core/start_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dos/program_information.h"
#include "exchange/file_names.h"
#include "link/device_message.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Verdict = Finding::Verdict;

// Each case is checked as start-up would find it, and the check must do
// nothing but read: no file written, no directory made, no port opened, no
// message, no launch.
TEST(CheckStartUpTest, SaysWhatStartUpWouldDoAndDoesNone) {
  // kExecutablePif: a PIF marked executable, as on a FAT or CIFS mount.
  enum class Companion { kNone, kNative, kDos, kExecutablePif };
  const struct {
    const char* name;
    const char* config;  // nullptr: missing
    Companion companion;
    bool dosbox_installed;
    Verdict device;
    int port;
    std::vector<std::string> said;
    bool would_start;
    std::vector<KnownPort> known = {};  // the ports the PC has
    std::string device_text = "";       // as the device line finds the port
    bool probe = false;                 // asked to ask the device too
  } cases[] = {
      {"configured",
       "3,-1,0,521,c,c:\\zindo\\,1\r\n",
       Companion::kNative,
       true,
       Verdict::kGood,
       3,
       {"ok       port: COM3, from c:\\zindo\\LOCAL6.DAT",
        "started by the system as it is", "/usr/bin/dosbox (DOSBox version"},
       true},
      {"missing configuration",
       nullptr,
       Companion::kNative,
       true,
       Verdict::kGood,
       1,
       {"warning  port: COM1, the default: c:\\zindo\\LOCAL6.DAT is missing",
        "would show the default-port message"},
       true},
      {"no such port",
       "300\r\n",
       Companion::kNative,
       true,
       Verdict::kGood,
       1,
       {"warning  port: COM1, the default: CommPort: there is no port 300"},
       true},
      {"busy device",
       "2\r\n",
       Companion::kNative,
       true,
       Verdict::kBlocking,
       2,
       {"PROBLEM  device: "},
       false},
      {"no companion",
       "2\r\n",
       Companion::kNone,
       true,
       Verdict::kGood,
       2,
       {"PROBLEM  companion: no autoexec.pif"},
       false},
      {"DOS companion",
       "2\r\n",
       Companion::kDos,
       true,
       Verdict::kGood,
       2,
       {"run in DOSBox as: /usr/bin/dosbox -conf", "'C:\\ZINDO\\Z.EXE'",
        "ok       DOSBox: DOSBox, /usr/bin/dosbox (DOSBox version 0.74-3), "
        "found on this system\n"},
       true},
      {"DOS companion, marked executable",
       "2\r\n",
       Companion::kExecutablePif,
       true,
       Verdict::kGood,
       2,
       {"ok       companion: autoexec.pif, a DOS program, run in DOSBox as: "
        "/usr/bin/dosbox -conf"},
       true},
      {"DOS companion, no DOSBox",
       "2\r\n",
       Companion::kDos,
       false,
       Verdict::kGood,
       2,
       {"DOSBox was not found", "what to do: install DOSBox"},
       false},
      // Asked to probe a port another program holds: not opened at all.
      {"in use, asked to probe",
       "2\r\n",
       Companion::kNative,
       true,
       Verdict::kBlocking,
       2,
       {"PROBLEM  device: COM2: in use by another program (a relay that is "
        "still running?)\n",
        "ok       ports: Communications Port (COM1), USB Serial Port (COM2) "
        "<- the relay's port\n",
        "warning  probe: not asked: COM2: in use by another program",
        "The relay would not start here: 1 problem(s) above; the device was "
        "not asked.\n"},
       false,
       {{1, "Communications Port (COM1)"}, {2, "USB Serial Port (COM2)"}},
       "COM2: in use by another program (a relay that is still running?)",
       true},
      {"missing port, the ports there are",
       "5\r\n",
       Companion::kNative,
       true,
       Verdict::kBlocking,
       5,
       {"PROBLEM  device: COM5: no such port on this PC (it has COM1, COM3)",
        "ok       ports: COM1, COM3\n"},
       false,
       {{1, "COM1"}, {3, "COM3"}},
       "COM5: no such port on this PC (it has COM1, COM3)"},
      {"a serial server's port file",
       "4\r\n",
       Companion::kNative,
       true,
       Verdict::kGood,
       4,
       {"ok       device: COM4: zindo-com4.txt -> ",
        "ok       ports: this PC shows no COM port\n",
        "The relay would start here.\n"},
       true,
       {},
       "COM4: zindo-com4.txt -> rfc2217://nport:4001, a serial server"},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    FakeSurroundings surroundings;
    fake.programs.installed = c.dosbox_installed;
    fake.desktop.display = false;
    surroundings.device.verdict = c.device;
    if (!c.device_text.empty()) surroundings.device.text = c.device_text;
    fake.ports.known = c.known;
    fake.files.PutDirectory(kWorkDirectory);
    if (c.config) fake.files.Put(kConfigPath, c.config);
    if (c.companion == Companion::kExecutablePif) {
      fake.launcher.RunEveryFileButNoDos();
    }
    if (c.companion == Companion::kDos) fake.launcher.TakeNoDosPrograms();
    if (c.companion == Companion::kDos ||
        c.companion == Companion::kExecutablePif) {
      fake.files.Put(kCompanionPif, BuildProgramInformation(
                                        {"C:\\ZINDO\\Z.EXE", "C:\\ZINDO", ""}));
    } else if (c.companion == Companion::kNative) {
      fake.files.Put(kCompanionPif, "#!/bin/sh\n");
    }

    const StartCheck check =
        CheckStartUp({fake.platform, fake.programs, fake.drives,
                      fake.user_files, fake.desktop, surroundings},
                     c.probe);
    for (const std::string& said : c.said) {
      EXPECT_THAT(check.report, HasSubstr(said)) << c.name << check.report;
    }
    EXPECT_EQ(check.would_start, c.would_start) << c.name << check.report;
    EXPECT_EQ(surroundings.devices_asked, std::vector<int>{c.port}) << c.name;
    // Nothing written, started or sent: only reads.
    EXPECT_THAT(fake.journal.entries(), Each(StartsWith("read "))) << c.name;
  }
}

// Asked to probe, the check asks the device at the configured port and
// says what came; it writes, creates and deletes nothing even then.
TEST(CheckStartUpTest, AsksTheDeviceAndWritesNothing) {
  const struct {
    const char* name;
    std::string answer;  // sent 0.25 s after the probe; "" for none
    std::vector<std::string> said;
    bool answered;
  } cases[] = {
      {"an answer",
       std::string("\x11\0", 2) + std::string(17, '\x05'),
       {"ok       probe: the device on COM2 answered: 19 byte(s), the first "
        "250 ms after the probe\n",
        "The relay would start here; the device answered.\n"},
       true},
      {"a short answer",
       std::string("\x11\0\x05", 3),
       {"answered: 3 byte(s), the first 250 ms after the probe, of the 19 its "
        "first byte announces\n"},
       true},
      {"an empty frame",
       std::string(1, '\0'),
       {"warning  probe: the device on COM2 answered with an empty frame "
        "(first byte 0): it is in its own error state, and the relay would "
        "begin its recovery cycle\n",
        "The relay would start here; the device is in its own error state.\n"},
       false},
      {"silence",
       "",
       {"PROBLEM  probe: no answer from the device on COM2 within 2 s\n"
        "         what to do: check that the device is switched on",
        "The relay would start here; the device did not answer.\n"},
       false},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    FakeSurroundings surroundings;
    fake.files.PutDirectory(kWorkDirectory);
    fake.files.Put(kConfigPath, "2\r\n");
    fake.files.Put(kCompanionPif, "#!/bin/sh\n");
    FakeLine& line = fake.ports.line(2);
    line.on_write = [&](const std::string&) {
      if (c.answer.empty()) return;
      fake.events.After(0.25, [&] { line.received += c.answer; });
    };
    const StartCheck check =
        CheckStartUp({fake.platform, fake.programs, fake.drives,
                      fake.user_files, fake.desktop, surroundings},
                     true);
    for (const std::string& said : c.said) {
      EXPECT_THAT(check.report, HasSubstr(said)) << c.name << check.report;
    }
    EXPECT_EQ(check.device_answered, c.answered) << c.name;
    EXPECT_EQ(line.written, BuildDevicePackets().probe) << c.name;
    EXPECT_FALSE(line.open) << c.name;
    for (const char* change : {"write", "create", "delete", "mkdir"}) {
      EXPECT_EQ(fake.journal.Count(change), 0) << c.name << " " << change;
    }
  }
}

// With only the relay's own DOSBox, --check names it and why; when the PIF
// is what fails, it does not ask for a DOSBox to be installed.
TEST(CheckStartUpTest, NamesTheRelaysOwnDosbox) {
  for (const bool good_pif : {true, false}) {
    FakePlatform fake;
    FakeSurroundings surroundings;
    fake.programs.installed = false;
    fake.programs.brought = true;
    fake.files.PutDirectory(kWorkDirectory);
    fake.launcher.TakeNoDosPrograms();
    fake.files.Put(kCompanionPif,
                   good_pif ? BuildProgramInformation(
                                  {"C:\\ZINDO\\Z.EXE", "C:\\ZINDO", ""})
                            : std::string("not a PIF"));
    const StartCheck check =
        CheckStartUp({fake.platform, fake.programs, fake.drives,
                      fake.user_files, fake.desktop, surroundings});
    if (good_pif) {
      EXPECT_THAT(
          check.report,
          HasSubstr("ok       DOSBox: DOSBox, /opt/zindo-relay/DOSBox/DOSBox"));
      EXPECT_THAT(check.report, HasSubstr(", the relay's own\n"));
    } else {
      EXPECT_THAT(check.report, HasSubstr("PROBLEM  companion: "));
      EXPECT_THAT(check.report, Not(HasSubstr("install DOSBox")));
    }
  }
}

// The companion writes its requests where it starts; --check fails unless
// that is the relay's folder as the companion sees it: through DOSBox's
// drives, or natively where the system runs the PIF itself. The log's last
// failure is shown with its time.
TEST(CheckStartUpTest, ReportsTheStartFolderAndTheLastFailure) {
  const Drives::Drive drive_c{"/c", false};
  const struct {
    const char* name;
    bool in_dosbox;
    const char* start_directory;
    std::map<char, Drives::Drive> drives;
    std::string last_failure;
    std::vector<std::string> said;
    bool would_start;
    // Where the relay works, and the directories besides the usual ones,
    // each with the path it resolves to.
    const char* working = "/c/ZINDO";
    std::map<std::string, std::string> directories = {};
  } cases[] = {
      {"the relay's folder",
       true,
       "C:\\ZINDO",
       {{'C', drive_c}},
       "",
       {"ok       start folder: C:\\ZINDO, where the relay works\n",
        "ok       log: /home/user/.local/state/zindo-relay/zindo-relay.log, "
        "no failure in it\n"},
       true},
      {"another case, a backslash and dots",
       true,
       "c:\\x\\..\\zindo\\.\\",
       {{'C', drive_c}},
       "",
       {"ok       start folder: c:\\zindo, where"},
       true},
      {"none: the working directory",
       true,
       "",
       {{'C', drive_c}},
       "",
       {"ok       start folder: C:\\ZINDO, where"},
       true},
      {"relative to the working directory",
       true,
       "..\\ZINDO",
       {{'C', drive_c}},
       "",
       {"ok       start folder: C:\\ZINDO, where"},
       true},
      {"another drive showing the folder",
       true,
       "D:\\",
       {{'C', drive_c}, {'D', {"/c/ZINDO", false}}},
       "",
       {"ok       start folder: D:\\, where"},
       true},
      {"another folder",
       true,
       "C:\\OTHER",
       {{'C', drive_c}},
       "2026-12-08 14:03:22 open COM3: No such file or directory",
       {"PROBLEM  start folder: the companion starts in C:\\OTHER, not in the "
        "relay's folder /c/ZINDO (C:\\ZINDO to the companion): the relay would "
        "never see the companion's requests\n"
        "         what to do: start the relay in the companion's start "
        "folder, or make C:\\ZINDO the start folder in autoexec.pif, or leave "
        "it empty",
        "warning  log: /home/user/.local/state/zindo-relay/zindo-relay.log, "
        "last failure: 2026-12-08 14:03:22 open COM3: No such file or "
        "directory\n         what to do: "},
       false},
      {"the relay's folder on no drive",
       true,
       "D:\\SHOP",
       {{'D', {"/d", false}}},
       "",
       {"PROBLEM  start folder: the companion starts in D:\\SHOP, not in the "
        "relay's folder /c/ZINDO: ",
        "what to do: start the relay in the companion's start folder; the "
        "companion cannot reach this one\n"},
       false},
      {"natively, the relay's folder",
       false,
       "C:\\ZINDO",
       {},
       "",
       {"ok       start folder: C:\\ZINDO, where the relay works"},
       true},
      {"natively, another folder",
       false,
       "C:\\OTHER",
       {},
       "",
       {"PROBLEM  start folder: the companion starts in C:\\OTHER, not in the "
        "relay's folder /c/ZINDO: "},
       false},
      {"through DOSBox, a link on drive C: to the relay's folder",
       true,
       "C:\\ZINDO",
       {{'C', {"/p/drive_c", false}}},
       "",
       {"ok       start folder: C:\\ZINDO, where the relay works"},
       true,
       "/home/u/Documents/zindo",
       {{"/p/drive_c", "/p/drive_c"},
        {"/p/drive_c/zindo", "/home/u/Documents/zindo"},
        {"/home/u/Documents/zindo", "/home/u/Documents/zindo"}}},
      {"through DOSBox, a short name DOSBox may make for a long one",
       true,
       "C:\\ZINDOO~1",
       {{'C', drive_c}},
       "",
       {"warning  start folder: the companion starts in C:\\ZINDOO~1; the "
        "check cannot tell whether that is the relay's folder /c/Zindo Office "
        "(DOSBox cannot reach /c/Zindo Office: \"Zindo Office\" is not a DOS "
        "8.3 name)\n"},
       true,
       "/c/Zindo Office",
       {{"/c/Zindo Office", "/c/Zindo Office"}}},
      {"through DOSBox, the system's own short name",
       true,
       "C:\\ZIND~ULC",
       {{'C', drive_c}},
       "",
       {"PROBLEM  start folder: the companion starts in C:\\ZIND~ULC, not in "
        "the relay's folder /c/Zindo Office"},
       false,
       "/c/Zindo Office",
       {{"/c/Zindo Office", "/c/Zindo Office"}}},
      {"through DOSBox, a mapped drive",
       true,
       "M:\\ZINDO",
       {{'C', {"C:\\", false}}, {'M', {"M:\\", false}}},
       "",
       {"ok       start folder: M:\\ZINDO, where the relay works"},
       true,
       "\\\\server\\shop\\zindo",
       {{"C:\\", "C:/"},
        {"M:\\", "//server/shop"},
        {"M:\\zindo", "//server/shop/zindo"},
        {"\\\\server\\shop\\zindo", "//server/shop/zindo"}}},
      {"through DOSBox, on Z:",
       true,
       "Z:\\HOME\\SHOP",
       {{'C', drive_c}, {'Z', {"/", false}}},
       "",
       {"PROBLEM  companion: start autoexec.pif in DOSBox: the start directory "
        "Z:\\HOME\\SHOP is on drive Z:, which is DOSBox's own drive"},
       false},
      {"natively, a short name",
       false,
       "C:\\ZIND~1",
       {},
       "",
       {"ok       start folder: C:\\ZIND~1, where the relay works"},
       true,
       "C:\\Zindo Office",
       {{"C:\\ZIND~1", "C:/Zindo Office"},
        {"C:\\Zindo Office", "C:/Zindo Office"}}},
      {"natively, a mapped drive in another case",
       false,
       "m:\\zindo",
       {},
       "",
       {"ok       start folder: m:\\zindo, where the relay works"},
       true,
       "\\\\server\\shop\\Zindo",
       {{"m:\\zindo", "//server/shop/Zindo"},
        {"\\\\server\\shop\\Zindo", "//server/shop/Zindo"}}},
      {"natively, a name in the DOS code page",
       false,
       "C:\\CAF\x90",
       {},
       "",
       {"ok       start folder: C:\\CAF\u00C9, where the relay works"},
       true,
       "C:\\Caf\u00E9",
       {{"C:\\CAF\u00C9", "C:/Caf\u00E9"}, {"C:\\Caf\u00E9", "C:/Caf\u00E9"}}},
      {"natively, a folder that cannot be read",
       false,
       "C:\\LOCKED",
       {},
       "",
       {"warning  start folder: the companion starts in C:\\LOCKED; the check "
        "cannot tell whether that is the relay's folder /c/ZINDO (find the "
        "directory C:\\LOCKED: Permission denied)"},
       true},
      {"natively, a folder that is not there",
       false,
       "C:\\GONE",
       {},
       "",
       {"PROBLEM  start folder: the companion starts in C:\\GONE, not in the "
        "relay's folder /c/ZINDO (find the directory C:\\GONE: No such file"},
       false},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    FakeSurroundings surroundings;
    fake.files.PutDirectory(kWorkDirectory);
    fake.files.Put(kConfigPath, "2\r\n");
    fake.files.Put(kCompanionPif,
                   BuildProgramInformation({"Z.EXE", c.start_directory, ""}));
    if (c.in_dosbox) fake.launcher.TakeNoDosPrograms();
    fake.drives.drives = c.drives;
    // As Windows resolves the folders natively.
    fake.drives.directories.insert(
        {{"/d", "/d"}, {"C:\\ZINDO", "/c/ZINDO"}, {"C:\\OTHER", "/c/OTHER"}});
    fake.drives.directories.insert(c.directories.begin(), c.directories.end());
    fake.drives.working = c.working;
    fake.drives.unreadable = {"C:\\LOCKED"};
    fake.log.last_failure = c.last_failure;

    const StartCheck check =
        CheckStartUp({fake.platform, fake.programs, fake.drives,
                      fake.user_files, fake.desktop, surroundings});
    for (const std::string& said : c.said) {
      EXPECT_THAT(check.report, HasSubstr(said)) << c.name << check.report;
    }
    EXPECT_EQ(check.would_start, c.would_start) << c.name << check.report;
    EXPECT_THAT(fake.journal.entries(), Each(StartsWith("read "))) << c.name;
  }
}

// A log that cannot be read is a warning: the relay would still start.
TEST(CheckStartUpTest, AnUnreadableLogIsAWarning) {
  FakePlatform fake;
  FakeSurroundings surroundings;
  fake.files.Put(kCompanionPif, "#!/bin/sh\n");
  fake.log.read_failure = Error("read /x/zindo-relay.log: Permission denied");
  const StartCheck check =
      CheckStartUp({fake.platform, fake.programs, fake.drives, fake.user_files,
                    fake.desktop, surroundings});
  EXPECT_THAT(check.report,
              HasSubstr("warning  log: read /x/zindo-relay.log: Permission "
                        "denied\n         what to do: make the log readable"));
  EXPECT_TRUE(check.would_start) << check.report;
}

// In a folder others may write in, another user's link under the request
// file's name is replaced when the relay starts, where the folder lets it:
// both are warnings, neither a problem.
TEST(CheckStartUpTest, AFolderOthersMayWriteInIsAWarning) {
  FakePlatform fake;
  FakeSurroundings surroundings;
  fake.files.Put(kCompanionPif, "#!/bin/sh\n");
  fake.files.Put("ELSEWHERE.TXT", "x");
  fake.files.PutLink(kRequestCreateName, "ELSEWHERE.TXT",
                     /*another_users=*/true);
  surroundings.other_writers = {
      Verdict::kWarning, "other users may write in /c/ZINDO: everyone", "x"};
  const StartCheck check =
      CheckStartUp({fake.platform, fake.programs, fake.drives, fake.user_files,
                    fake.desktop, surroundings});
  EXPECT_THAT(check.report,
              HasSubstr("warning  request file: ZINDOK1.TXT is a symbolic "
                        "link owned by another user: the relay would replace"));
  EXPECT_THAT(check.report, HasSubstr("warning  others: other users may"));
  EXPECT_TRUE(check.would_start) << check.report;
}

}  // namespace
}  // namespace zindo

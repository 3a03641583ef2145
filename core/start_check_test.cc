#include "core/start_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dos/program_information.h"
#include "exchange/file_names.h"
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
  enum class Companion { kNone, kNative, kDos };
  const struct {
    const char* name;
    const char* config;  // nullptr: missing
    Companion companion;
    bool dosbox_installed;
    Verdict device;
    int port;
    std::vector<std::string> said;
    bool would_start;
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
      {"DOS companion, no DOSBox",
       "2\r\n",
       Companion::kDos,
       false,
       Verdict::kGood,
       2,
       {"DOSBox was not found", "what to do: install DOSBox"},
       false},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    FakeSurroundings surroundings;
    fake.programs.installed = c.dosbox_installed;
    fake.desktop.display = false;
    surroundings.device.verdict = c.device;
    fake.files.PutDirectory(kWorkDirectory);
    if (c.config) fake.files.Put(kConfigPath, c.config);
    if (c.companion == Companion::kDos) {
      fake.launcher.TakeNoDosPrograms();
      fake.files.Put(kCompanionPif, BuildProgramInformation(
                                        {"C:\\ZINDO\\Z.EXE", "C:\\ZINDO", ""}));
    } else if (c.companion == Companion::kNative) {
      fake.files.Put(kCompanionPif, "#!/bin/sh\n");
    }

    const StartCheck check = CheckStartUp(
        {fake.platform, fake.programs, fake.desktop, surroundings});
    for (const std::string& said : c.said) {
      EXPECT_THAT(check.report, HasSubstr(said)) << c.name;
    }
    EXPECT_EQ(check.would_start, c.would_start) << c.name << check.report;
    EXPECT_EQ(surroundings.devices_asked, std::vector<int>{c.port}) << c.name;
    // Nothing written, started or sent: only reads.
    EXPECT_THAT(fake.journal.entries(), Each(StartsWith("read "))) << c.name;
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
    const StartCheck check = CheckStartUp(
        {fake.platform, fake.programs, fake.desktop, surroundings});
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

}  // namespace
}  // namespace zindo

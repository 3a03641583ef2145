#include "dos/dosbox_command_line.h"

#include <string>
#include <vector>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::ThrowsMessage;

class DosboxCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* directory :
         {"/c", "/c/ZINDO/work", "/c/long directory", "/d", "/elsewhere"}) {
      places_.directories[directory] = directory;
    }
  }

  // The DOS commands of the command line, after its -conf setting and the
  // mounts of C: and D:.
  std::vector<std::string> CommandsFor(const ProgramInformation& program,
                                       const std::string& work) {
    const std::vector<std::string> arguments =
        DosboxArguments({DosboxLine::kDosbox, drives_, work, program, ""},
                        "/dev/fd/5", places_);
    EXPECT_EQ(arguments.at(0), "-conf");
    EXPECT_EQ(arguments.at(1), "/dev/fd/5");
    std::vector<std::string> commands;
    for (std::size_t i = 2; i + 1 < arguments.size(); i += 2) {
      EXPECT_EQ(arguments[i], "-c");
      commands.push_back(arguments[i + 1]);
    }
    if (commands.size() < 2) return commands;
    EXPECT_THAT(std::vector(commands.begin(), commands.begin() + 2),
                ElementsAre("mount C \"/c\"", "mount D \"/d\""));
    commands.erase(commands.begin(), commands.begin() + 2);
    return commands;
  }

  FakeJournal journal_;
  FakePrograms places_{journal_};
  std::vector<DosDrive> drives_ = {{'C', "/c"}, {'D', "/d"}};
};

TEST_F(DosboxCommandTest, StartsInTheRightDirectoryRunsTheProgramAndExits) {
  const struct {
    ProgramInformation program;
    const char* work;
    std::vector<std::string> commands;
  } cases[] = {
      {{"ZINDO.EXE", "", "/a b"},
       "/c/ZINDO/work",
       {"C:", "cd \\ZINDO\\work", "ZINDO.EXE /a b", "exit"}},
      // The start directory of the PIF wins over the working directory.
      {{"C:\\ZINDO\\Z.COM", "D:\\DATA", ""},
       "/c",
       {"D:", "cd \\DATA", "C:\\ZINDO\\Z.COM", "exit"}},
      // Without a drive it is taken from the working directory.
      {{"Z.EXE", "SUB", ""}, "/d", {"D:", "cd SUB", "Z.EXE", "exit"}},
      // Batch files are called, whatever the case of their extension.
      // The working directory at a drive's root needs no cd.
      {{"go.Bat", "", "1"}, "/c", {"C:", "call go.Bat 1", "exit"}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(CommandsFor(c.program, c.work), ElementsAreArray(c.commands))
        << c.program.program;
  }
}

TEST_F(DosboxCommandTest, WhatDosCannotReachIsRefused) {
  const struct {
    ProgramInformation program;
    const char* work;
    std::string message;
  } cases[] = {
      {{"Z.EXE", "", ""}, "/elsewhere", "/elsewhere is on no drive"},
      {{"Z.EXE", "E:\\X", ""}, "/c", "drive E:"},
      {{"F:\\Z.EXE", "", ""}, "/c", "drive F:"},
      {{"Z.EXE", "", ""}, "/c/long directory", "not a DOS 8.3 name"},
      {{"Z.EXE", "", ""}, "/gone", "find the directory /gone: No such file"},
  };
  for (const auto& c : cases) {
    EXPECT_THAT([&] { CommandsFor(c.program, c.work); },
                ThrowsMessage<Error>(HasSubstr(c.message)))
        << c.message;
  }
  // A start directory with a drive does not need the working directory.
  EXPECT_NO_THROW(CommandsFor({"Z.EXE", "C:\\", ""}, "/gone"));
}

// It types EXIT for a program whose `exit` DOSBox lost (/E), never for a
// batch file, whose next program would read the keys.
TEST_F(DosboxCommandTest, IdleHelperLoadsFromADriveOfItsOwnThatGoesAway) {
  // Y: is taken, so the helper's folder is shown as X: while it loads.
  drives_.push_back({'Y', "/elsewhere"});
  const std::vector<std::string> arguments = DosboxArguments(
      {DosboxLine::kDosbox, drives_, "/c", {"Z.EXE", "", ""}, "/tmp/h x"},
      "/dev/fd/5", places_);
  EXPECT_THAT(
      std::vector(arguments.begin() + 9, arguments.end()),
      ElementsAre("mount X \"/tmp/h x\"", "-c", "X:\\IDLEHELP.COM /E", "-c",
                  "mount -u X", "-c", "C:", "-c", "Z.EXE", "-c", "exit"));
  const std::vector<std::string> batch = DosboxArguments(
      {DosboxLine::kDosbox, drives_, "/c", {"GO.BAT", "", ""}, "/tmp/h x"},
      "/dev/fd/5", places_);
  EXPECT_THAT(batch, ::testing::Contains("X:\\IDLEHELP.COM"));
  // DOSBox Staging runs the batch file in a shell of its own, whose end the
  // helper can tell from the end of the batch's programs.
  const std::vector<std::string> in_staging = DosboxArguments(
      {DosboxLine::kStaging, drives_, "/c", {"GO.BAT", "", ""}, "/tmp/h x"},
      "/dev/fd/5", places_);
  EXPECT_THAT(in_staging, ::testing::IsSupersetOf(
                              {"X:\\IDLEHELP.COM /E", "command /c GO.BAT"}));
}

TEST_F(DosboxCommandTest, DeepestDriveHoldingTheDirectoryIsChosen) {
  // E: shows a directory inside C:, through a link: the closer root wins.
  places_.directories["/link"] = "/c/ZINDO";
  drives_.push_back({'E', "/link"});
  EXPECT_EQ(DosPathOf(drives_, "/c/ZINDO/work", places_), "E:\\work");
  EXPECT_EQ(DosPathOf(drives_, "/c", places_), "C:\\");
  EXPECT_EQ(DosPathOf(drives_, "/elsewhere", places_), "");
}

TEST(DosboxSettingsTest, UserSettingsApplyExceptWhatTheRelayNeeds) {
  const std::string user =
      "[sdl]\r\nfullscreen=true\r\nmapperfile=mine.map\r\n"
      "[serial]\nserial1=directserial realport:ttyS0\n"
      "[cpu]\ncycles=max\n"
      " [AutoExec]\nmount c /\n[dos]\nkeyboardlayout=he\n"
      "[zindo-relay]\nidlehelper=false\n[mixer]\nnosound=true\n";
  const std::string config = DosboxConfig(DosboxLine::kDosbox, user, false);
  // The user's own lines come after the relay's defaults...
  EXPECT_LT(config.find("mpu401=none"), config.find("cycles=max"));
  EXPECT_THAT(config, HasSubstr("fullscreen=true"));
  EXPECT_THAT(config, HasSubstr("keyboardlayout=he"));
  // ...and what the relay depends on comes last, so it wins.
  for (int port = 1; port <= 4; ++port) {
    const std::string disabled =
        "serial" + std::to_string(port) + "=disabled\n";
    EXPECT_GT(config.rfind(disabled), config.find("realport:ttyS0"));
  }
  EXPECT_GT(config.rfind("mapperfile=/dev/null/"), config.find("mine.map"));
  // The relay runs the companion itself: no autoexec of the user's.
  EXPECT_THAT(config, Not(HasSubstr("mount c /")));
  EXPECT_THAT(config, Not(HasSubstr("utoexec")));
  // Nor the relay's own settings, which are not DOSBox's.
  EXPECT_THAT(config, Not(HasSubstr("idlehelper")));
  EXPECT_THAT(config, HasSubstr("[mixer]\nnosound=true\n"));
  EXPECT_THAT(DosboxConfig(DosboxLine::kDosbox, "", true),
              HasSubstr("serial4=disabled\n"));
}

// Each line started as it needs, with settings only it knows: the whole
// command line and what the settings add to those of every line.
TEST_F(DosboxCommandTest, EachLineStartsAsItNeeds) {
  const std::string common = DosboxConfig(DosboxLine::kDosbox, "", true);
  const std::vector<std::string> dos_commands = {"-c", "Y:\\IDLEHELP.COM /E",
                                                 "-c", "mount -u Y",
                                                 "-c", "C:",
                                                 "-c", "Z.EXE",
                                                 "-c", "exit"};
  const struct {
    DosboxLine line;
    bool display;
    std::vector<std::string> options;  // before the DOS commands
    std::string added_settings;        // to those of every line
  } cases[] = {
      {DosboxLine::kDosbox,
       false,
       {"-conf", "/dev/fd/5", "-c", "mount C \"/c\"", "-c", "mount D \"/d\""},
       ""},
      {DosboxLine::kDosboxX,
       true,
       {"-nopromptfolder", "-nolog", "-conf", "/dev/fd/5", "-c",
        "mount -nocachedir C \"/c\"", "-c", "mount -nocachedir D \"/d\""},
       "[dos]\nhard drive data rate limit=0\nfloppy drive data rate limit=0\n"},
      {DosboxLine::kStaging,
       true,
       {"--noprimaryconf", "--nolocalconf", "--exit", "-conf", "/dev/fd/5",
        "-c", "mount C \"/c\"", "-c", "mount D \"/d\""},
       "[dosbox]\nautomount=false\n[dos]\nshell_history_file=\n"},
      {DosboxLine::kStaging,
       false,
       {"--noprimaryconf", "--nolocalconf", "--exit", "-conf", "/dev/fd/5",
        "-c", "mount C \"/c\"", "-c", "mount D \"/d\""},
       "[dosbox]\nautomount=false\n[dos]\nshell_history_file=\n"
       "[sdl]\ntexture_renderer=software\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DosboxLineName(c.line));
    std::vector<std::string> expected = c.options;
    expected.insert(expected.end(), {"-c", "mount Y \"/h\""});
    expected.insert(expected.end(), dos_commands.begin(), dos_commands.end());
    EXPECT_THAT(
        DosboxArguments({c.line, drives_, "/c", {"Z.EXE", "", ""}, "/h"},
                        "/dev/fd/5", places_),
        ElementsAreArray(expected));
    EXPECT_EQ(DosboxConfig(c.line, "", c.display), common + c.added_settings);
  }
  // DOSBox-X takes a colon past a drive's for an archive's: a prefix's
  // drive link is mounted as the directory it leads to.
  places_.directories["/p/dosdevices/c:"] = "/c";
  places_.directories["/p/dosdevices/d:"] = "/odd:name";
  for (const auto& [link, mount] :
       {std::pair{"/p/dosdevices/c:", "mount -nocachedir C \"/c\""},
        std::pair{"C:\\", "mount -nocachedir C \"C:\\\""},
        std::pair{"/p/dosdevices/d:", ""}}) {
    const DosboxRun run = {
        DosboxLine::kDosboxX, {{'C', link}}, "/c", {"Z.EXE", "C:\\", ""}, ""};
    if (*mount == '\0') {
      EXPECT_THAT([&] { DosboxArguments(run, "/dev/fd/5", places_); },
                  ThrowsMessage<Error>(HasSubstr("colon")));
    } else {
      EXPECT_THAT(DosboxArguments(run, "/dev/fd/5", places_),
                  ::testing::Contains(mount))
          << link;
    }
  }
  EXPECT_TRUE(DosboxNeedsFlushKey(DosboxLine::kDosbox));
  EXPECT_TRUE(DosboxNeedsFlushKey(DosboxLine::kStaging));
  EXPECT_FALSE(DosboxNeedsFlushKey(DosboxLine::kDosboxX));
}

// What a DOSBox says of itself wins; unasked, its name and folder tell.
TEST(DosboxLineTest, KnownFromItsVersionItsNameOrItsFolder) {
  const struct {
    const char* path;
    const char* version;
    DosboxLine line;
  } cases[] = {
      {"/usr/bin/dosbox", "DOSBox version 0.74-3, copyright 2002-2019",
       DosboxLine::kDosbox},
      {"/usr/bin/dosbox", "dosbox-staging, version 0.82.2",
       DosboxLine::kStaging},
      {"/opt/dosbox", "DOSBox-X version 2026.08.02 SDL2", DosboxLine::kDosboxX},
      // A version wins over a misleading name.
      {"/home/u/dosbox-x", "DOSBox version 0.74-3", DosboxLine::kDosbox},
      {"/usr/local/bin/dosbox-x", "", DosboxLine::kDosboxX},
      {"C:\\DOSBox-X\\DOSBox-X.EXE", "", DosboxLine::kDosboxX},
      {"/snap/bin/dosbox-staging", "", DosboxLine::kStaging},
      {"C:\\Program Files\\DOSBox Staging\\dosbox.exe", "",
       DosboxLine::kStaging},
      {"C:\\Program Files (x86)\\DOSBox-0.74-3\\DOSBox.exe", "",
       DosboxLine::kDosbox},
      {"dosbox", "", DosboxLine::kDosbox},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DosboxLineOf(c.path, c.version), c.line)
        << c.path << " saying " << c.version;
  }
}

}  // namespace
}  // namespace zindo

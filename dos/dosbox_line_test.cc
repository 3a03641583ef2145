#include "dos/dosbox_line.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "dos/companion.h"
#include "dos/dosbox_command_line.h"
#include "dos/dosbox_settings.h"
#include "dos/program_information.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
using ::testing::ThrowsMessage;

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

// What the relay started for the companion, and what it did after creating
// a file, when the user names a DOSBox that answers -version with `version`.
struct Launched {
  ProgramRun run;
  std::vector<std::string> trace;
  int flush_keys;
  std::vector<std::string> diagnostics;
};
Launched LaunchNamedDosbox(const std::string& version) {
  FakePlatform fake;
  fake.launcher.TakeNoDosPrograms();
  fake.files.Put("autoexec.pif", BuildProgramInformation({"Z.EXE", "", ""}));
  fake.user_files.contents["dosbox-path.txt"] = "/opt/dosbox\n";
  fake.programs.first_lines["/opt/dosbox"] = version;
  DosCompanion companion(fake.platform, fake.programs, fake.drives,
                         fake.user_files, fake.desktop, "autoexec.pif");
  companion.platform().launcher.Launch("autoexec.pif");
  companion.platform().files.WriteFile("zindoK2.txt", "/0,1\r\n");
  return {fake.programs.runs.at(0), fake.trace.events(),
          fake.journal.Count("key 4242 Ctrl+F4"), fake.process.diagnostics()};
}

// Each line started as it needs, with settings only it knows: the whole
// command line, how a batch file runs, what the settings add to those of
// every line and where they are handed, and whether a file the relay
// creates costs it the key that empties its cache.
TEST(DosboxLineTest, EachLineStartsAsItNeeds) {
  const std::vector<std::string> dos_commands = {"-c", "Y:\\IDLEHELP.COM /E",
                                                 "-c", "mount -u Y > NUL",
                                                 "-c", "C:",
                                                 "-c", "cls",
                                                 "-c", "Z.EXE",
                                                 "-c", "exit"};
  const struct {
    DosboxLine line;
    const char* version;               // its answer to -version
    std::vector<std::string> options;  // before the DOS commands
    std::string added_settings;        // to those of every line
    std::string added_without_display;
    std::string title_settings;  // naming its window "Z.EXE"
    // The helper's load and the command for GO.BAT: a batch run in the
    // relay's own shell is called, and the helper types no EXIT after it.
    std::vector<std::string> batch;
    bool settings_in_folder;  // else in the handed file
    int flush_keys;           // after the relay created a file
  } cases[] = {
      {DosboxLine::kDosbox,
       "DOSBox version 0.74-3",
       {"-conf", "/dev/fd/5", "-c", "mount C \"/c\" > NUL", "-c",
        "mount D \"/d\" > NUL"},
       "",
       "",
       "",
       {"Y:\\IDLEHELP.COM", "call GO.BAT"},
       false,
       1},
      {DosboxLine::kDosboxX,
       "DOSBox-X version 2026.08.02 SDL2",
       {"-nopromptfolder", "-nolog", "-fastlaunch", "-conf", "/dev/fd/5", "-c",
        "mount -nocachedir C \"/c\" > NUL", "-c",
        "mount -nocachedir D \"/d\" > NUL"},
       "[dos]\nhard drive data rate limit=0\nfloppy drive data rate limit=0\n"
       "[dosbox]\nquit warning=auto\n",
       "",
       "[dosbox]\ntitle=Z.EXE\n[sdl]\nshowbasic=false\n",
       {"Y:\\IDLEHELP.COM", "call GO.BAT"},
       false,
       0},
      // Its shell of its own ends apart from the batch's programs.
      {DosboxLine::kStaging,
       "dosbox-staging, version 0.82.2",
       {"--noprimaryconf", "--nolocalconf", "--exit", "-conf", "/dev/fd/5",
        "-c", "mount C \"/c\" > NUL", "-c", "mount D \"/d\" > NUL"},
       "[dosbox]\nautomount=false\nstartup_verbosity=quiet\n[dos]\n"
       "shell_history_file=\n",
       "[sdl]\ntexture_renderer=software\n",
       "[sdl]\nwindow_titlebar=program=\"Z.EXE\"\n",
       {"Y:\\IDLEHELP.COM /E", "command /c GO.BAT"},
       true,
       1},
  };
  for (const DosboxLineTraits& traits : DosboxLines()) {
    EXPECT_EQ(
        std::count_if(std::begin(cases), std::end(cases),
                      [&](const auto& c) { return c.line == traits.line; }),
        1)
        << traits.name << " has a case of its own";
  }
  FakeDrives native_drives;
  native_drives.directories["/d"] = "/d";
  const std::vector<DosDrive> drives = {{'C', "/c"}, {'D', "/d"}};
  // The settings of every line, and the [autoexec] section that ends them.
  const std::string unseen = "[autoexec]\n@echo off\n";
  std::string common =
      DosboxConfig(TraitsOf(kBaseDosboxLine), "", true, "Z.EXE");
  ASSERT_TRUE(common.ends_with(unseen)) << common;
  common.resize(common.size() - unseen.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(DosboxLineName(c.line));
    std::vector<std::string> expected = c.options;
    expected.insert(expected.end(), {"-c", "mount Y \"/h\" > NUL"});
    expected.insert(expected.end(), dos_commands.begin(), dos_commands.end());
    const DosboxLineTraits* row = &TraitsOf(c.line);
    EXPECT_THAT(DosboxArguments({row, drives, "/c", {"Z.EXE", "", ""}, "/h"},
                                "/dev/fd/5", native_drives),
                ElementsAreArray(expected));
    EXPECT_THAT(DosboxArguments({row, drives, "/c", {"GO.BAT", "", ""}, "/h"},
                                "/dev/fd/5", native_drives),
                IsSupersetOf(c.batch));
    const std::string settings =
        common + c.added_settings + c.title_settings + unseen;
    EXPECT_EQ(DosboxConfig(*row, "", true, "Z.EXE"), settings);
    EXPECT_EQ(DosboxConfig(*row, "", false, "Z.EXE"),
              common + c.added_settings + c.added_without_display +
                  c.title_settings + unseen);

    const Launched launched = LaunchNamedDosbox(c.version);
    EXPECT_THAT(launched.trace, Contains(HasSubstr(std::string("run as ") +
                                                   DosboxLineName(c.line))));
    const ProgramRun& run = launched.run;
    EXPECT_THAT(run.arguments,
                Contains(c.settings_in_folder
                             ? std::string(kHandedFolder) + "/dosbox.conf"
                             : std::string(kHandedFile)));
    EXPECT_EQ(run.handed_folder.contains("dosbox.conf"), c.settings_in_folder);
    EXPECT_EQ(c.settings_in_folder ? run.handed_folder.at("dosbox.conf")
                                   : run.handed_file,
              settings);
    if (c.settings_in_folder) {
      EXPECT_EQ(run.handed_file, "");
    }
    EXPECT_EQ(launched.flush_keys, c.flush_keys);
    EXPECT_THAT(launched.diagnostics, IsEmpty());
  }
  // DOSBox-X takes a colon past a drive's for an archive's: a prefix's
  // drive link is mounted as the directory it leads to.
  native_drives.directories["/p/dosdevices/c:"] = "/c";
  native_drives.directories["/p/dosdevices/d:"] = "/odd:name";
  for (const auto& [link, mount] :
       {std::pair{"/p/dosdevices/c:", "mount -nocachedir C \"/c\" > NUL"},
        std::pair{"C:\\", "mount -nocachedir C \"C:\\\" > NUL"},
        std::pair{"/p/dosdevices/d:", ""}}) {
    const DosboxRun run = {&TraitsOf(DosboxLine::kDosboxX),
                           {{'C', link}},
                           "/c",
                           {"Z.EXE", "C:\\", ""},
                           ""};
    if (*mount == '\0') {
      EXPECT_THAT([&] { DosboxArguments(run, "/dev/fd/5", native_drives); },
                  ThrowsMessage<Error>(HasSubstr("colon")));
    } else {
      EXPECT_THAT(DosboxArguments(run, "/dev/fd/5", native_drives),
                  ::testing::Contains(mount))
          << link;
    }
  }
}

}  // namespace
}  // namespace zindo

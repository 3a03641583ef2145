#include "dos/companion.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/error.h"
#include "dos/idle_helper.h"
#include "dos/program_information.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::ThrowsMessage;

// Its launcher, files and platform refer to its own session and files: a
// copy would act on the original's.
static_assert(!std::is_copy_constructible_v<DosCompanion> &&
              !std::is_copy_assignable_v<DosCompanion>);

class DosCompanionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_.launcher.TakeNoDosPrograms();
    fake_.files.Put("autoexec.pif", BuildProgramInformation(
                                        {"C:\\ZINDO\\Z.EXE", "C:\\ZINDO", ""}));
  }

  // The relay's services as the companion in DOSBox needs them.
  const Platform& Companion() {
    companion_.emplace(fake_.platform, programs_, fake_.drives, user_files_,
                       desktop_, "autoexec.pif");
    return companion_->platform();
  }

  // How many times the Control key that empties DOSBox's cache was sent.
  int FlushKeys() const { return fake_.journal.Count("key 4242 Ctrl+F4"); }

  FakePlatform fake_;
  FakePrograms& programs_ = fake_.programs;
  FakeUserFiles& user_files_ = fake_.user_files;
  FakeDesktop& desktop_ = fake_.desktop;
  std::optional<DosCompanion> companion_;
};

TEST_F(DosCompanionTest, DosProgramRunsInDosboxWithTheUsersSettings) {
  user_files_.contents["dosbox.conf"] = "[cpu]\ncycles=max\n";
  // A drive that may hold no medium is not mounted.
  fake_.drives.drives['E'] = {"/media/cdrom", /*removable=*/true};
  Companion().launcher.Launch("autoexec.pif");

  ASSERT_THAT(programs_.runs, SizeIs(1));
  const ProgramRun& run = programs_.runs[0];
  EXPECT_THAT(
      run.arguments,
      ElementsAre(
          "/usr/bin/dosbox", "-conf", kHandedFile, "-c", "mount C \"/c\" > NUL",
          "-c", std::string("mount Y \"") + kHandedFolder + "\" > NUL", "-c",
          "Y:\\IDLEHELP.COM /E", "-c", "mount -u Y > NUL", "-c", "C:", "-c",
          "cd \\ZINDO", "-c", "cls", "-c", "C:\\ZINDO\\Z.EXE", "-c", "exit"));
  // The helper DOSBox loads is the assembled program, which marks its hook.
  EXPECT_THAT(run.handed_folder,
              ElementsAre(std::pair<const std::string, std::string>(
                  "IDLEHELP.COM", IdleHelperProgram())));
  EXPECT_THAT(IdleHelperProgram(), HasSubstr("ZINDOIDL"));
  EXPECT_EQ(run.directory, "/c/ZINDO");
  EXPECT_THAT(run.settings, IsEmpty());  // a display: SDL shows the window
  EXPECT_THAT(run.handed_file, AllOf(HasSubstr("cycles=max\n"),
                                     HasSubstr("serial1=disabled\n")));
  EXPECT_EQ(fake_.journal.Count("launch"), 0);

  // Without a display SDL is given no window to open.
  desktop_.display = false;
  Companion().launcher.Launch("autoexec.pif");
  EXPECT_THAT(programs_.runs.at(1).settings, Contains("SDL_VIDEODRIVER=dummy"));
  // Where keys reach only a window's message reader, SDL is told to be one.
  desktop_.display = desktop_.needs_window_messages = true;
  Companion().launcher.Launch("autoexec.pif");
  EXPECT_THAT(programs_.runs.at(2).settings,
              ElementsAre("SDL_VIDEODRIVER=windib"));
}

TEST_F(DosCompanionTest, DosboxIsTheUsersChoiceOrTheRelaysOrTheSystems) {
  const std::string spaced =
      "C:\\Program Files (x86)\\DOSBox-0.74-3\\DOSBox.exe";
  const std::string own = "/opt/zindo-relay/DOSBox/DOSBox";
  const struct {
    const char* what;
    bool installed;                    // the system has a DOSBox
    bool brought;                      // the relay has its own
    std::optional<std::string> named;  // dosbox-path.txt
    std::optional<Error> start_failure;
    std::string program;  // run, or else
    std::string origin;   // in the trace
    std::string failure;  // reported
  } cases[] = {
      {"not found", false, false, std::nullopt, std::nullopt, "", "",
       "start autoexec.pif in DOSBox: this system cannot run DOS and DOSBox "
       "was not found (looked for " +
           own +
           ", where dosbox-x's installer records it, for dosbox-x on PATH "
           "(/usr/bin); where dosbox's installer records it, for "
           "dosbox-staging on PATH (/usr/bin); for dosbox on PATH (/usr/bin)); "
           "install DOSBox, or write the full path of the DOSBox program in "
           "/prefix/dosbox-path.txt"},
      {"the system's", true, false, std::nullopt, std::nullopt,
       "/usr/bin/dosbox", "found on this system", ""},
      {"the relay's own before the system's", true, true, std::nullopt,
       std::nullopt, own, "the relay's own", ""},
      {"the user's path before the relay's own", true, true,
       "/opt/dosbox/bin/dosbox\n", std::nullopt, "/opt/dosbox/bin/dosbox",
       "named in /prefix/dosbox-path.txt", ""},
      {"a path with spaces, from Notepad and Explorer", false, false,
       "\xEF\xBB\xBF\"" + spaced + "\"\r\nanything\r\n", std::nullopt, spaced,
       "named in /prefix/dosbox-path.txt", ""},
      {"an empty file", true, true, " \r\n", std::nullopt, "", "",
       "/prefix/dosbox-path.txt names no program"},
      {"the user's path cannot be run", true, true, "/opt/dosbox",
       Error("start: not found", ErrorKind::kNotFound), "", "",
       "start: not found (the DOSBox named in /prefix/dosbox-path.txt)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    programs_.installed = c.installed;
    programs_.brought = c.brought;
    user_files_.contents.erase("dosbox-path.txt");
    if (c.named) user_files_.contents["dosbox-path.txt"] = *c.named;
    programs_.start_failure = c.start_failure;
    programs_.runs.clear();
    try {
      Companion().launcher.Launch("autoexec.pif");
      ASSERT_THAT(programs_.runs, SizeIs(1));
      EXPECT_EQ(programs_.runs[0].arguments.at(0), c.program);
      EXPECT_THAT(fake_.trace.events(),
                  Contains("DOSBox started: " + c.program +
                           " (process 4242), " + c.origin + ", run as DOSBox"));
      EXPECT_EQ(c.failure, "");
    } catch (const Error& failure) {
      EXPECT_THAT(failure.what(), HasSubstr(c.failure));
      EXPECT_EQ(c.program, "");
      // The note on the user's DOSBox keeps what kind of failure it was.
      EXPECT_TRUE(!c.start_failure || failure.Is(ErrorKind::kNotFound));
    }
  }
}

// Of several DOSBoxes installed, the line that sees new files unaided wins;
// a `dosbox` or the user's own program is asked which line it is. How each
// line is started: DosboxLineTest.EachLineStartsAsItNeeds.
TEST_F(DosCompanionTest, DosboxLineChosenAndStartedAsItNeeds) {
  const struct {
    const char* what;
    std::set<std::string> on_path;
    std::map<std::string, std::string> installed_at;
    std::optional<std::string> named;  // dosbox-path.txt
    std::string version;               // what the chosen program says
    std::string program;
    std::string line;
    const char* first_option;
  } cases[] = {
      {"every line",
       {"dosbox", "dosbox-x", "dosbox-staging"},
       {},
       {},
       "",
       "/usr/bin/dosbox-x",
       "DOSBox-X",
       "-nopromptfolder"},
      {"Staging before DOSBox",
       {"dosbox", "dosbox-staging"},
       {},
       {},
       "",
       "/usr/bin/dosbox-staging",
       "DOSBox Staging",
       "--noprimaryconf"},
      {"recorded by its installer",
       {"dosbox"},
       {{"dosbox", "C:\\Program Files\\DOSBox Staging\\dosbox.exe"}},
       {},
       "",
       "C:\\Program Files\\DOSBox Staging\\dosbox.exe",
       "DOSBox Staging",
       "--noprimaryconf"},
      {"the user's DOSBox-X",
       {"dosbox"},
       {},
       "/opt/x/dosbox-x\n",
       "",
       "/opt/x/dosbox-x",
       "DOSBox-X",
       "-nopromptfolder"},
      {"a dosbox that is Staging",
       {"dosbox"},
       {},
       {},
       "dosbox-staging, version 0.82.2",
       "/usr/bin/dosbox",
       "DOSBox Staging",
       "--noprimaryconf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    programs_.on_path = c.on_path;
    programs_.installed_at = c.installed_at;
    user_files_.contents.erase("dosbox-path.txt");
    if (c.named) user_files_.contents["dosbox-path.txt"] = *c.named;
    programs_.first_lines = {{c.program, c.version}};
    programs_.runs.clear();
    Companion().launcher.Launch("autoexec.pif");
    ASSERT_THAT(programs_.runs, SizeIs(1));
    EXPECT_EQ(programs_.runs[0].arguments.at(0), c.program);
    EXPECT_EQ(programs_.runs[0].arguments.at(1), c.first_option);
    EXPECT_THAT(fake_.trace.events(),
                Contains(HasSubstr(
                    "(process 4242), found on this system, run as " + c.line)));
  }
  // Each line's installers' records are looked at, DOSBox-X's first.
  ASSERT_THAT(programs_.installed_asked, Not(IsEmpty()));
  EXPECT_EQ(programs_.installed_asked[0].registered.at(0).key,
            "Software\\DOSBox-X");
  EXPECT_EQ(programs_.installed_asked[0].folders.at(0), "DOSBox-X");
}

TEST_F(DosCompanionTest, IdleHelperCanBeTurnedOffInTheUsersSettings) {
  const struct {
    std::string settings;
    bool loaded;
    std::string diagnostic;  // "" for none
  } cases[] = {
      {"[cpu]\ncycles=max\n", true, ""},
      {"[zindo-relay]\nidlehelper=false\n", false, ""},
      {"[Zindo-Relay]\r\n  IdleHelper = Off \r\n[cpu]\nidlehelper=on\n", false,
       ""},
      {"[zindo-relay]\n# a comment\nidlehelper=true\n", true, ""},
      {"[zindo-relay]\nidlehelper=maybe\n", true,
       "/prefix/dosbox.conf: idlehelper=maybe is neither true nor false"},
      {"[zindo-relay]\nidle=false\n", true,
       "\"idle=false\" is not a setting of [zindo-relay]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    user_files_.contents["dosbox.conf"] = c.settings;
    programs_.runs.clear();
    const std::vector<std::string> before = fake_.process.diagnostics();
    Companion().launcher.Launch("autoexec.pif");
    ASSERT_THAT(programs_.runs, SizeIs(1));
    const ProgramRun& run = programs_.runs[0];
    EXPECT_EQ(run.handed_folder.size(), c.loaded ? 1u : 0u);
    EXPECT_EQ(std::count(run.arguments.begin(), run.arguments.end(),
                         "Y:\\IDLEHELP.COM /E"),
              c.loaded ? 1 : 0);
    // DOSBox never sees the relay's own section.
    EXPECT_THAT(run.handed_file, Not(HasSubstr("elay]")));
    EXPECT_THAT(run.handed_file, Not(HasSubstr("idlehelper=false")));
    const std::vector<std::string> said(
        fake_.process.diagnostics().begin() + before.size(),
        fake_.process.diagnostics().end());
    if (c.diagnostic.empty()) {
      EXPECT_THAT(said, IsEmpty());
    } else {
      EXPECT_THAT(said, ElementsAre(HasSubstr(c.diagnostic)));
    }
  }
}

TEST_F(DosCompanionTest, BadPifIsReported) {
  // A script that lost its run bit: the user is told about the bit.
  fake_.files.Put("autoexec.pif", "#!/bin/sh\nexec ./companion\n");
  EXPECT_THAT([&] { Companion().launcher.Launch("autoexec.pif"); },
              ThrowsMessage<Error>(AllOf(HasSubstr("autoexec.pif in DOSBox"),
                                         HasSubstr("a script"),
                                         HasSubstr("chmod +x autoexec.pif"))));
  // A damaged binary file gets no such hint.
  fake_.files.Put("autoexec.pif", std::string("MZ\0\1", 4));
  EXPECT_THAT([&] { Companion().launcher.Launch("autoexec.pif"); },
              ThrowsMessage<Error>(
                  AllOf(HasSubstr("shorter than"), Not(HasSubstr("chmod")))));
  EXPECT_THAT(programs_.runs, IsEmpty());
}

// A PIF is known by its content, not by its marks: on a FAT or CIFS mount
// every file is executable. Where the system runs DOS programs itself, the
// PIF is left to it; a script runs itself; and the companion's files are
// DOSBox's only when DOSBox runs it.
TEST(DosCompanionStartTest, PifRunsInDosboxWhateverItsMarks) {
  const std::string pif =
      BuildProgramInformation({"C:\\ZINDO\\Z.EXE", "C:\\ZINDO", ""});
  const struct {
    const char* name;
    bool system_runs_dos;
    std::string contents;
    bool in_dosbox;
  } cases[] = {
      {"a PIF marked executable", false, pif, true},
      {"a script marked executable", false, "#!/bin/sh\n", false},
      {"a PIF where the system runs DOS", true, pif, false},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    if (!c.system_runs_dos) fake.launcher.RunEveryFileButNoDos();
    fake.files.Put("autoexec.pif", c.contents);
    const DosCompanion companion(fake.platform, fake.programs, fake.drives,
                                 fake.user_files, fake.desktop, "autoexec.pif");
    companion.platform().launcher.Launch("autoexec.pif");
    EXPECT_THAT(fake.programs.runs, SizeIs(c.in_dosbox ? 1 : 0)) << c.name;
    EXPECT_EQ(fake.journal.Count("launch"), c.in_dosbox ? 0 : 1) << c.name;
    EXPECT_EQ(&companion.platform().files == &fake.platform.files, !c.in_dosbox)
        << c.name;
  }
}

TEST_F(DosCompanionTest, NewFilesTakeTheNameDosAsksForOldOnesKeepTheirs) {
  fake_.files.Put("zindoK.inf", "0,0\r\n");
  FileSystem& files = Companion().files;
  const struct {
    std::string written;
    std::string stored;
  } cases[] = {
      {"zindoK2.txt", "ZINDOK2.TXT"},
      {"zindoK.inf", "zindoK.inf"},  // exists already
      {"c:\\zindo\\LOCAL6.DAT", "LOCAL6.DAT"},
  };
  fake_.files.PutDirectory("c:\\zindo");
  for (const auto& c : cases) {
    files.WriteFile(c.written, "x");
    EXPECT_EQ(files.StoredName(c.written), c.stored) << c.written;
  }
}

TEST_F(DosCompanionTest, FilesCreatedAfterTheStartEmptyDosboxsCache) {
  const Platform& platform = Companion();
  platform.files.WriteFile("zindoK.inf", "0,1\r\n");
  EXPECT_EQ(FlushKeys(), 0);  // no DOSBox yet

  platform.launcher.Launch("autoexec.pif");
  platform.files.WriteFile("zindoK.inf", "1,1\r\n");  // DOSBox listed it
  EXPECT_EQ(FlushKeys(), 0);
  platform.files.WriteFile("zindoK2.txt", "/0,1\r\n");
  platform.files.WriteFile("zindoK2.txt", "/0,2\r\n");
  EXPECT_EQ(FlushKeys(), 1);
  platform.files.DeleteFile("zindoK2.txt");  // as the companion does
  platform.files.WriteFile("zindoK2.txt", "/0,3\r\n");
  EXPECT_EQ(FlushKeys(), 2);

  // Once DOSBox has ended there is no window to tell, and nothing to say.
  programs_.running = false;
  platform.files.WriteFile("new.txt", "x");
  EXPECT_EQ(FlushKeys(), 2);
  EXPECT_THAT(fake_.process.diagnostics(), IsEmpty());
}

TEST_F(DosCompanionTest, FlushThatCannotBeDoneIsReportedOnceAndTriedAgain) {
  desktop_.failure = "process 4242 has no window on display :9";
  const Platform& platform = Companion();
  platform.launcher.Launch("autoexec.pif");
  for (int i = 0; i < 3; ++i) platform.files.WriteFile("zindoK2.txt", "/0\r\n");

  EXPECT_EQ(fake_.files.Contents("ZINDOK2.TXT"), "/0\r\n");
  ASSERT_THAT(fake_.process.diagnostics(), SizeIs(1));
  EXPECT_THAT(fake_.process.diagnostics()[0],
              AllOf(HasSubstr("zindo-relay: "), HasSubstr(desktop_.failure)));
  EXPECT_THAT(fake_.trace.events(),
              ElementsAre(HasSubstr("DOSBox started"),
                          HasSubstr("cache not emptied: process 4242")));
  EXPECT_EQ(FlushKeys(), 3);  // one try after each write
  // The window has come: the rewrite still owes DOSBox the new name, once.
  desktop_.failure.clear();
  platform.files.WriteFile("zindoK2.txt", "/1\r\n");
  platform.files.WriteFile("zindoK2.txt", "/2\r\n");
  EXPECT_EQ(FlushKeys(), 4);
}

// What a flush that cannot be sent costs the companion depends on whether
// the idle helper answers its FindFirst for the relay's files.
TEST_F(DosCompanionTest, FlushFailureSaysWhatTheCompanionMayMiss) {
  const struct {
    const char* settings;
    const char* missed;
  } cases[] = {
      {"", "a directory listing or a wildcard search may miss new files"},
      {"[zindo-relay]\nidlehelper=false\n",
       "a companion that looks for files with FindFirst may not see"},
  };
  desktop_.failure = "no window";
  for (const auto& c : cases) {
    user_files_.contents["dosbox.conf"] = c.settings;
    const Platform& platform = Companion();
    platform.launcher.Launch("autoexec.pif");
    platform.files.WriteFile("zindoK2.txt", "/0\r\n");
    EXPECT_THAT(fake_.process.diagnostics(), Contains(HasSubstr(c.missed)))
        << c.settings;
    platform.files.DeleteFile("zindoK2.txt");  // new again for the next case
  }
}

}  // namespace
}  // namespace zindo

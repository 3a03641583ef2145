#include "dos/dosbox.h"

#include <filesystem>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/error.h"
#include "platform/testing-posix.h"

namespace zindo {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::ThrowsMessage;

// The DOS commands of a DOSBox command line, after its -conf setting.
std::vector<std::string> Commands(const std::vector<std::string>& arguments) {
  EXPECT_EQ(arguments.at(0), "-conf");
  EXPECT_EQ(arguments.at(1), "/dev/fd/5");
  std::vector<std::string> commands;
  for (std::size_t i = 2; i + 1 < arguments.size(); i += 2) {
    EXPECT_EQ(arguments[i], "-c");
    commands.push_back(arguments[i + 1]);
  }
  return commands;
}

class DosboxCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* directory : {"c", "c/ZINDO/work", "d", "elsewhere"}) {
      std::filesystem::create_directories(root_ / directory);
    }
  }

  std::vector<std::string> CommandsFor(const ProgramInformation& program,
                                       const std::string& work) {
    return Commands(DosboxArguments({drives_, work, program}, "/dev/fd/5"));
  }

  posix_test::TemporaryDirectory root_;
  std::vector<DosDrive> drives_ = {{'C', root_ / "c"}, {'D', root_ / "d"}};
};

TEST_F(DosboxCommandTest, MountsDrivesStartsInWorkingDirectoryAndExits) {
  EXPECT_THAT(CommandsFor({"ZINDO.EXE", "", "/a b"}, root_ / "c/ZINDO/work"),
              ElementsAre("mount C \"" + root_ / "c" + "\"",
                          "mount D \"" + root_ / "d" + "\"",
                          "C:", "cd \\ZINDO\\work", "ZINDO.EXE /a b", "exit"));
}

TEST_F(DosboxCommandTest, StartDirectoryOfThePifWins) {
  EXPECT_THAT(CommandsFor({"C:\\ZINDO\\Z.COM", "D:\\DATA", ""}, root_ / "c"),
              ElementsAre(HasSubstr("mount C"), HasSubstr("mount D"),
                          "D:", "cd \\DATA", "C:\\ZINDO\\Z.COM", "exit"));
  // Without a drive it is taken from the working directory; the working
  // directory at a drive's root needs no cd.
  EXPECT_THAT(CommandsFor({"Z.EXE", "SUB", ""}, root_ / "d"),
              ElementsAre(HasSubstr("mount C"), HasSubstr("mount D"),
                          "D:", "cd SUB", "Z.EXE", "exit"));
}

TEST_F(DosboxCommandTest, BatchFilesAreCalledWhateverTheCase) {
  EXPECT_EQ(CommandsFor({"go.Bat", "", "1"}, root_ / "c").at(3),
            "call go.Bat 1");
  EXPECT_EQ(CommandsFor({"GO.COM", "", ""}, root_ / "c").at(3), "GO.COM");
}

TEST_F(DosboxCommandTest, WorkingDirectoryOnNoDriveFails) {
  EXPECT_THAT(
      [&] {
        CommandsFor({"Z.EXE", "", ""}, root_ / "elsewhere");
      },
      ThrowsMessage<Error>(
          AllOf(HasSubstr(root_ / "elsewhere"), HasSubstr("on no drive"))));
  // A start directory with a drive does not need the working directory.
  EXPECT_NO_THROW(CommandsFor({"Z.EXE", "C:\\", ""}, root_ / "elsewhere"));
}

TEST_F(DosboxCommandTest, UnmappedDrivesAndLongNamesFail) {
  EXPECT_THAT(
      [&] {
        CommandsFor({"Z.EXE", "E:\\X", ""}, root_ / "c");
      },
      ThrowsMessage<Error>(HasSubstr("drive E:")));
  EXPECT_THAT(
      [&] {
        CommandsFor({"F:\\Z.EXE", "", ""}, root_ / "c");
      },
      ThrowsMessage<Error>(HasSubstr("drive F:")));
  std::filesystem::create_directories(root_ / "c/long directory");
  EXPECT_THAT(
      [&] {
        CommandsFor({"Z.EXE", "", ""}, root_ / "c/long directory");
      },
      ThrowsMessage<Error>(HasSubstr("not a DOS 8.3 name")));
}

TEST_F(DosboxCommandTest, DeepestDriveHoldingTheDirectoryIsChosen) {
  // E: shows a directory inside C:, through a link: the closer root wins.
  posix_test::MakeSymlink(root_ / "c/ZINDO", root_ / "link");
  drives_.push_back({'E', root_ / "link"});
  EXPECT_EQ(DosPathOf(drives_, root_ / "c/ZINDO/work"), "E:\\work");
  EXPECT_EQ(DosPathOf(drives_, root_ / "c"), "C:\\");
  EXPECT_EQ(DosPathOf(drives_, root_ / "elsewhere"), "");
}

TEST(DosboxSettingsTest, UserSettingsApplyExceptWhatTheRelayNeeds) {
  const std::string user =
      "[sdl]\r\nfullscreen=true\r\nmapperfile=mine.map\r\n"
      "[serial]\nserial1=directserial realport:ttyS0\n"
      "[cpu]\ncycles=max\n"
      " [AutoExec]\nmount c /\n[dos]\nkeyboardlayout=he\n";
  const std::string config = DosboxConfig(user);
  // The user's own lines come after the relay's defaults...
  EXPECT_LT(config.find("ipx=false"), config.find("cycles=max"));
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
  EXPECT_THAT(DosboxConfig(""), HasSubstr("serial4=disabled\n"));
}

TEST(DosboxSettingsTest, DummySdlDriversOnlyWithoutADisplay) {
  EXPECT_THAT(DosboxEnvironment(false),
              ElementsAre("SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"));
  EXPECT_THAT(DosboxEnvironment(true), ElementsAre());
}

}  // namespace
}  // namespace zindo

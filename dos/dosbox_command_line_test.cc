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
using ::testing::ThrowsMessage;

class DosboxCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* directory : {"/", "/c", "/c/ZINDO/work",
                                  "/c/long directory", "/d", "/elsewhere"}) {
      native_drives_.directories[directory] = directory;
    }
  }

  // The DOS commands of the command line, after its -conf setting and the
  // mounts of C: and D: (Z:, as a Wine prefix maps it, is DOSBox's own).
  std::vector<std::string> CommandsFor(const ProgramInformation& program,
                                       const std::string& work) {
    const std::vector<std::string> arguments = DosboxArguments(
        {&TraitsOf(kBaseDosboxLine), drives_, work, program, ""}, "/dev/fd/5",
        native_drives_);
    EXPECT_EQ(arguments.at(0), "-conf");
    EXPECT_EQ(arguments.at(1), "/dev/fd/5");
    std::vector<std::string> commands;
    for (std::size_t i = 2; i + 1 < arguments.size(); i += 2) {
      EXPECT_EQ(arguments[i], "-c");
      commands.push_back(arguments[i + 1]);
    }
    if (commands.size() < 2) return commands;
    EXPECT_THAT(std::vector(commands.begin(), commands.begin() + 2),
                ElementsAre("mount C \"/c\" > NUL", "mount D \"/d\" > NUL"));
    commands.erase(commands.begin(), commands.begin() + 2);
    return commands;
  }

  FakeDrives native_drives_;
  std::vector<DosDrive> drives_ = {{'C', "/c"}, {'D', "/d"}, {'Z', "/"}};
};

TEST_F(DosboxCommandTest, StartsInTheRightDirectoryRunsTheProgramAndExits) {
  const struct {
    ProgramInformation program;
    const char* work;
    std::vector<std::string> commands;
  } cases[] = {
      {{"ZINDO.EXE", "", "/a b"},
       "/c/ZINDO/work",
       {"C:", "cd \\ZINDO\\work", "cls", "ZINDO.EXE /a b", "exit"}},
      // The start directory of the PIF wins over the working directory.
      {{"C:\\ZINDO\\Z.COM", "D:\\DATA", ""},
       "/c",
       {"D:", "cd \\DATA", "cls", "C:\\ZINDO\\Z.COM", "exit"}},
      // Without a drive it is taken from the working directory.
      {{"Z.EXE", "SUB", ""}, "/d", {"D:", "cd SUB", "cls", "Z.EXE", "exit"}},
      // Batch files are called, whatever the case of their extension.
      // The working directory at a drive's root needs no cd.
      {{"go.Bat", "", "1"}, "/c", {"C:", "cls", "call go.Bat 1", "exit"}},
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
      // Z: shows it natively, but DOSBox never mounts Z:.
      {{"Z.EXE", "", ""}, "/elsewhere", "/elsewhere is on no drive"},
      {{"Z.EXE", "Z:\\SHOP", ""}, "/c", "Z:, which is DOSBox's own drive"},
      {{"Z:\\Z.EXE", "", ""}, "/c", "Z:, which is DOSBox's own drive"},
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

// It types EXIT for a program whose `exit` DOSBox lost (/E); for a batch
// file, see EachLineStartsAsItNeeds.
TEST_F(DosboxCommandTest, IdleHelperLoadsFromADriveOfItsOwnThatGoesAway) {
  // Y: is taken, so the helper's folder is shown as X: while it loads.
  drives_.push_back({'Y', "/elsewhere"});
  const std::vector<std::string> arguments =
      DosboxArguments({&TraitsOf(kBaseDosboxLine),
                       drives_,
                       "/c",
                       {"Z.EXE", "", ""},
                       "/tmp/h x"},
                      "/dev/fd/5", native_drives_);
  EXPECT_THAT(std::vector(arguments.begin() + 9, arguments.end()),
              ElementsAre("mount X \"/tmp/h x\" > NUL", "-c",
                          "X:\\IDLEHELP.COM /E", "-c", "mount -u X > NUL", "-c",
                          "C:", "-c", "cls", "-c", "Z.EXE", "-c", "exit"));
}

TEST_F(DosboxCommandTest, DeepestDriveHoldingTheDirectoryIsChosen) {
  // E: shows a directory inside C:, through a link: the closer root wins.
  native_drives_.directories["/link"] = "/c/ZINDO";
  drives_.push_back({'E', "/link"});
  EXPECT_EQ(DosPathOf(drives_, "/c/ZINDO/work", native_drives_), "E:\\work");
  EXPECT_EQ(DosPathOf(drives_, "/c", native_drives_), "C:\\");
  EXPECT_EQ(DosPathOf(drives_, "/elsewhere", native_drives_), "");
}

}  // namespace
}  // namespace zindo

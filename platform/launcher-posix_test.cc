#include "platform/launcher-posix.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/dosbox-posix.h"
#include "platform/error.h"
#include "platform/program_information.h"
#include "platform/testing-posix.h"

namespace zindo {
namespace {

using posix_test::ReadNativeFile;
using posix_test::WriteNativeFile;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// Records its directory, process id, session (the fourth field after the
// command name in /proc/<pid>/stat) and input, then counts its start. The
// record appears whole, by rename.
constexpr char kRecordingScript[] = R"(#!/bin/sh
{
  pwd
  echo "$$"
  read -r stat < /proc/$$/stat
  set -- ${stat##*) }
  echo "$4"
  readlink /proc/$$/fd/0
} > record.tmp
echo started >> starts.txt
mv record.tmp record.txt
)";

bool HasChildren() {
  int status;
  return !(::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD);
}

class PosixLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { posix_test::MakeDirectory(work_); }

  posix_test::TemporaryDirectory root_;
  std::string work_ = root_ / "work";
  PosixFileSystem files_{root_ / "prefix", work_};
  PosixLauncher launcher_{files_};

  // What the started program wrote to record.txt, once it has, or nothing
  // when it has not within 10 s.
  std::optional<std::string> AwaitRecord() const {
    const std::string path = work_ + "/record.txt";
    if (!posix_test::WaitUntil(
            [&] { return ::access(path.c_str(), F_OK) == 0; },
            std::chrono::seconds(10))) {
      return std::nullopt;
    }
    return ReadNativeFile(path);
  }
};

TEST_F(PosixLauncherTest, StartsTheProgramOnceInItsOwnSessionUnwaited) {
  WriteNativeFile(work_ + "/AUTOEXEC.PIF", kRecordingScript, 0755);

  launcher_.Launch("autoexec.pif");
  EXPECT_FALSE(HasChildren());

  std::optional<std::string> recorded = AwaitRecord();
  ASSERT_TRUE(recorded.has_value());
  std::istringstream record(*recorded);
  std::string directory, pid, session, input;
  for (std::string* line : {&directory, &pid, &session, &input}) {
    std::getline(record, *line);
  }
  EXPECT_EQ(directory, work_);
  EXPECT_EQ(session, pid);
  EXPECT_NE(session, std::to_string(::getsid(0)));
  EXPECT_EQ(input, "/dev/null");
  EXPECT_EQ(ReadNativeFile(work_ + "/starts.txt"), "started\n");
  EXPECT_FALSE(HasChildren());
}

TEST_F(PosixLauncherTest, MissingOrNonExecutableFileIsReported) {
  EXPECT_THAT([&] { launcher_.Launch("autoexec.pif"); },
              ThrowsMessage<Error>(
                  AllOf(HasSubstr("autoexec.pif"), HasSubstr("No such file"))));
  // Without execute permission the file is read as a DOS PIF, which a
  // script is not.
  WriteNativeFile(work_ + "/autoexec.pif", kRecordingScript, 0644);
  EXPECT_THAT(
      [&] { launcher_.Launch("AUTOEXEC.PIF"); },
      ThrowsMessage<Error>(AllOf(HasSubstr(work_ + "/autoexec.pif"),
                                 HasSubstr("not a program information file"))));
  posix_test::MakeDirectory(work_ + "/dir.pif");
  EXPECT_THAT([&] { launcher_.Launch("dir.pif"); },
              ThrowsMessage<Error>(HasSubstr("not a regular file")));
}

TEST_F(PosixLauncherTest, FailedExecIsReportedWithTheSystemsReason) {
  // Executable, but neither a program nor a script with an interpreter.
  WriteNativeFile(work_ + "/autoexec.pif", std::string("\0\1\2\3", 4), 0755);

  EXPECT_THAT([&] { launcher_.Launch("autoexec.pif"); },
              ThrowsMessage<Error>(HasSubstr("Exec format error")));
  EXPECT_FALSE(HasChildren());
}

// Sets PATH for one test and puts it back afterwards.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& path) : saved_(std::getenv("PATH")) {
    ::setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() { ::setenv("PATH", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

// Stands in for DOSBox: records its directory, arguments (one a line), the
// settings file it was given and its SDL video driver, then counts its
// start.
constexpr char kFakeDosbox[] = R"(#!/bin/sh
PATH=/usr/bin:/bin
{
  pwd
  printf '%s\n' "$@"
  echo "video=$SDL_VIDEODRIVER"
  cat "$2"
} > record.tmp
echo started >> starts.txt
mv record.tmp record.txt
)";

TEST_F(PosixLauncherTest, PifWithoutDosboxOnThePathIsReported) {
  WriteNativeFile(work_ + "/autoexec.pif",
                  BuildProgramInformation({"C:\\ZINDO.EXE", "C:\\", ""}), 0644);
  ScopedPath path(root_ / "empty");

  EXPECT_THAT(
      [&] { launcher_.Launch("autoexec.pif"); },
      ThrowsMessage<Error>(AllOf(HasSubstr("autoexec.pif"),
                                 HasSubstr("dosbox is not installed"))));
}

TEST_F(PosixLauncherTest, PifStartsDosboxOnceWithItsSettingsUnwaited) {
  posix_test::MakeDirectory(root_ / "bin");
  WriteNativeFile(root_ / "bin/dosbox", kFakeDosbox, 0755);
  std::filesystem::create_directories(root_ / "prefix/dosdevices");
  posix_test::MakeSymlink(work_, root_ / "prefix/dosdevices/d:");
  WriteNativeFile(work_ + "/AUTOEXEC.PIF",
                  BuildProgramInformation({"GO.BAT", "", "x"}), 0644);
  ScopedPath path(root_ / "bin");
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");

  launcher_.Launch("autoexec.pif");
  EXPECT_FALSE(HasChildren());

  std::optional<std::string> recorded = AwaitRecord();
  ASSERT_TRUE(recorded.has_value());
  const std::string& record = *recorded;
  EXPECT_THAT(record, HasSubstr(work_ + "\n-conf\n/dev/fd/"));
  EXPECT_THAT(record,
              HasSubstr("-c\nmount D \"" + root_ / "prefix/dosdevices/d:" +
                        "\"\n-c\nD:\n-c\ncall GO.BAT x\n-c\nexit\n"));
  EXPECT_THAT(record, HasSubstr("video=dummy\n"));
  // The settings came through the inherited descriptor whole.
  EXPECT_THAT(record, HasSubstr(DosboxConfig()));
  EXPECT_EQ(ReadNativeFile(work_ + "/starts.txt"), "started\n");
}

}  // namespace
}  // namespace zindo

#include "platform/programs/launcher-posix.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::ReadNativeFile;
using posix_test::WriteNativeFile;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// Records its process id, session (the fourth field after the command name
// in /proc/<pid>/stat) and input. The record appears whole, by rename.
constexpr char kRecordingScript[] = R"(#!/bin/sh
{
  echo "$$"
  read -r stat < /proc/$$/stat
  set -- ${stat##*) }
  echo "$4"
  readlink /proc/$$/fd/0
} > record.tmp
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

TEST_F(PosixLauncherTest, StartsTheProgramInItsOwnSessionUnwaited) {
  WriteNativeFile(work_ + "/AUTOEXEC.PIF", kRecordingScript, 0755);

  launcher_.Launch("autoexec.pif");
  EXPECT_FALSE(HasChildren());

  std::optional<std::string> recorded = AwaitRecord();
  ASSERT_TRUE(recorded.has_value());
  std::istringstream record(*recorded);
  std::string pid, session, input;
  for (std::string* line : {&pid, &session, &input}) {
    std::getline(record, *line);
  }
  EXPECT_EQ(session, pid);
  EXPECT_NE(session, std::to_string(::getsid(0)));
  EXPECT_EQ(input, "/dev/null");
  EXPECT_FALSE(HasChildren());
}

TEST_F(PosixLauncherTest, WhatCannotBeStartedIsReportedWithTheReason) {
  EXPECT_THAT([&] { launcher_.Launch("autoexec.pif"); },
              ThrowsMessage<Error>(
                  AllOf(HasSubstr("autoexec.pif"), HasSubstr("No such file"))));
  EXPECT_TRUE(launcher_.StartsItself("autoexec.pif"));
  // Without execute permission the file is a DOS PIF, left to DOSBox.
  WriteNativeFile(work_ + "/autoexec.pif", kRecordingScript, 0644);
  EXPECT_FALSE(launcher_.StartsItself("AUTOEXEC.PIF"));
  EXPECT_THAT([&] { launcher_.Launch("AUTOEXEC.PIF"); },
              ThrowsMessage<Error>(AllOf(HasSubstr(work_ + "/autoexec.pif"),
                                         HasSubstr("a DOS program"))));
  posix_test::MakeDirectory(work_ + "/dir.pif");
  EXPECT_THAT([&] { launcher_.Launch("dir.pif"); },
              ThrowsMessage<Error>(HasSubstr("not a regular file")));
  // Executable, but neither a program nor a script with an interpreter.
  WriteNativeFile(work_ + "/bad.pif", std::string("\0\1\2\3", 4), 0755);
  EXPECT_THAT([&] { launcher_.Launch("bad.pif"); },
              ThrowsMessage<Error>(HasSubstr("Exec format error")));
  EXPECT_FALSE(HasChildren());
}

}  // namespace
}  // namespace zindo

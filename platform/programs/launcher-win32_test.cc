// Only the failures are tested: a successful launch would start a program.
#include "platform/programs/launcher-win32.h"

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/testing/testing-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

TEST(Win32LauncherTest, MissingFileFailsNamingItAndTheDirectory) {
  win32_test::TemporaryDirectory directory;
  Win32FileSystem files(directory.path());
  Win32Launcher launcher(files);
  try {
    launcher.Launch("autoexec.pif");
    FAIL() << "launched a missing file";
  } catch (const Error& error) {
    EXPECT_THAT(error.what(),
                HasSubstr("start autoexec.pif in " + directory.path() + ": "));
    EXPECT_THAT(error.what(), HasSubstr("(error 2)"));
  }
}

TEST(Win32LauncherTest, ShellFailuresAreExplained) {
  EXPECT_THAT(ShellExecuteFailure(SE_ERR_NOASSOC),
              HasSubstr("no program is associated"));
  EXPECT_THAT(ShellExecuteFailure(SE_ERR_ACCESSDENIED), HasSubstr("(error 5)"));
  EXPECT_THAT(ShellExecuteFailure(0), HasSubstr("out of memory"));
}

}  // namespace
}  // namespace zindo

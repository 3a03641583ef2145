#include "platform/programs/programs-posix.h"

#include <filesystem>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

// The program reads the text it is handed as a file, and a folder of files
// that only this user may enter, sees its settings in place of the relay's
// own of the same names, and starts in its directory. The folder goes when
// the relay ends.
TEST(PosixProgramsTest, HandsFileFolderAndSettingsToTheProgram) {
  posix_test::TemporaryDirectory root;
  PosixPrograms programs;
  ::setenv("ZINDO_HANDED_TEST", "the relay's", 1);
  const std::string script =
      "cat \"$1\" >file.out; cat \"$2/A.CONF\" >folder.out; "
      "stat -c %a \"$2\" >mode.out; tr '\\0' '\\n' </proc/$$/environ | grep "
      "^ZINDO_HANDED_TEST= >env.out; "
      "printf %s \"$2\" >path.out; : >done";
  programs.StartDetached(
      {{"/bin/sh", "-c", script, "sh", kHandedFile, kHandedFolder},
       {"ZINDO_HANDED_TEST=its own"},
       root.path(),
       "handed text\n",
       {{"A.CONF", "[dos]\n"}}});
  ASSERT_TRUE(posix_test::WaitUntil(
      [&] { return std::filesystem::exists(root / "done"); },
      std::chrono::seconds(10)));
  EXPECT_EQ(posix_test::ReadNativeFile(root / "file.out"), "handed text\n");
  EXPECT_EQ(posix_test::ReadNativeFile(root / "folder.out"), "[dos]\n");
  EXPECT_EQ(posix_test::ReadNativeFile(root / "mode.out"), "700\n");
  EXPECT_EQ(posix_test::ReadNativeFile(root / "env.out"),
            "ZINDO_HANDED_TEST=its own\n");
  const std::string folder = posix_test::ReadNativeFile(root / "path.out");
  EXPECT_TRUE(std::filesystem::exists(folder));
  programs.RemoveHandedFolders();
  EXPECT_FALSE(std::filesystem::exists(folder));
  ::unsetenv("ZINDO_HANDED_TEST");
}

// What a program says of itself (its version), as --check and the trace
// quote it: the first line with text, from its output or its errors.
TEST(PosixProgramsTest, FirstOutputLineIsTheFirstWithText) {
  const struct {
    std::string script;
    std::string line;
  } cases[] = {
      {"printf '\\n  \\r\\nDOSBox version 0.74-3\\nmore\\n'",
       "DOSBox version 0.74-3"},
      {"echo 'on errors' >&2", "on errors"},
      {"printf 'no line end'", "no line end"},
      {"exit 3", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstOutputLine({"/bin/sh", "-c", c.script}), c.line) << c.script;
  }
  EXPECT_EQ(FirstOutputLine({"/no/such/program", "--version"}), "");
}

TEST(PosixProgramsTest, ProgramThatCannotStartIsAnErrorNamingIt) {
  posix_test::TemporaryDirectory root;
  PosixPrograms programs;
  try {
    programs.StartDetached({{root / "missing"}, {}, root.path(), "", {}});
    FAIL() << "started a missing program";
  } catch (const Error& failure) {
    EXPECT_THAT(failure.what(), HasSubstr(root / "missing"));
    EXPECT_THAT(failure.what(), HasSubstr("No such file"));
  }
}

}  // namespace
}  // namespace zindo

#include "platform/programs/spawn-posix.h"

#include <filesystem>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/programs/programs-posix.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

class FindProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* directory : {"bin", "plain", "folder/tool", "work"}) {
      std::filesystem::create_directories(root_ / directory);
    }
    posix_test::WriteNativeFile(root_ / "plain/tool", "#!/bin/sh\n", 0644);
    posix_test::WriteNativeFile(root_ / "bin/tool", "#!/bin/sh\n", 0755);
    // The working directory holds a runnable file of that name too.
    posix_test::WriteNativeFile(root_ / "work/tool", "#!/bin/sh\n", 0755);
  }

  posix_test::TemporaryDirectory root_;
};

TEST_F(FindProgramTest, OnlyExecutableFilesInAbsoluteDirectoriesCount) {
  const std::string bin = root_ / "bin";
  const struct {
    std::string search_path;
    std::string found;
  } cases[] = {
      {bin, bin + "/tool"},
      {root_ / "plain" + ":" + root_ / "folder" + ":" + bin, bin + "/tool"},
      {root_ / "plain", ""},
      {"", ""},
      // Empty and relative entries name the working directory.
      {":", ""},
      {"::" + bin, bin + "/tool"},
      {".", ""},
      {"work", ""},
      {"./:bin:.", ""},
  };
  posix_test::InDirectory(root_ / "work", [&] {
    for (const auto& c : cases) {
      EXPECT_EQ(FindProgram("tool", c.search_path), c.found)
          << "PATH=" << c.search_path;
    }
  });
  posix_test::InDirectory(root_.path(),
                          [&] { EXPECT_EQ(FindProgram("tool", "bin"), ""); });
}

TEST(PosixProgramsTest, ProgramThatCannotStartIsAnErrorNamingIt) {
  posix_test::TemporaryDirectory root;
  PosixFileSystem files(root / "prefix", root.path());
  PosixPrograms programs(files);
  try {
    programs.StartDetached({{root / "missing"}, {}, root.path(), "", {}});
    FAIL() << "started a missing program";
  } catch (const Error& failure) {
    EXPECT_THAT(failure.what(), HasSubstr(root / "missing"));
    EXPECT_THAT(failure.what(), HasSubstr("No such file"));
  }
}

// The drives' directories are compared as the system reaches them.
TEST(PosixProgramsTest, ResolvesLinksAndDotsAndNamesWhatIsMissing) {
  posix_test::TemporaryDirectory root;
  const std::string real = std::filesystem::canonical(root.path()).string();
  posix_test::MakeDirectory(root / "c");
  posix_test::MakeDirectory(root / "c/work");
  posix_test::MakeSymlink(root / "c/work", root / "link");
  PosixFileSystem files(root / "prefix", root.path());
  PosixPrograms programs(files);
  const struct {
    std::string path;
    std::string resolved;  // "" when missing
  } cases[] = {
      {root / "c", real + "/c"},
      {root / "link", real + "/c/work"},
      {root / "c/./work/../work/", real + "/c/work"},
      {root / "missing/work", ""},
      {root / "link/missing", ""},
  };
  for (const auto& c : cases) {
    if (!c.resolved.empty()) {
      EXPECT_EQ(programs.ResolvedDirectory(c.path), c.resolved);
      continue;
    }
    try {
      programs.ResolvedDirectory(c.path);
      ADD_FAILURE() << "resolved " << c.path;
    } catch (const Error& failure) {
      EXPECT_EQ(std::string(failure.what()),
                "find the directory " + c.path + ": No such file or directory");
      EXPECT_TRUE(failure.Is(ErrorKind::kNotFound)) << c.path;
    }
  }
}

}  // namespace
}  // namespace zindo

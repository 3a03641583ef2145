#include "platform/spawn-posix.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/error.h"
#include "platform/programs-posix.h"
#include "platform/testing-posix.h"

namespace zindo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

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

// Records its process id, its directory, its arguments, one a line, a
// variable and the handed file.
constexpr char kRecorder[] = R"(#!/bin/sh
{
  echo "$$"
  pwd
  printf '%s\n' "$@"
  echo "video=$SDL_VIDEODRIVER"
  cat "$2"
} > record.tmp
mv record.tmp record.txt
)";

TEST(PosixProgramsTest, StartsDetachedWithTheHandedFileAndGivesItsId) {
  posix_test::TemporaryDirectory root;
  std::filesystem::create_directories(root / "work");
  posix_test::WriteNativeFile(root / "recorder", kRecorder, 0755);
  PosixFileSystem files(root / "prefix", root / "work");
  PosixPrograms programs(files);

  const int id =
      programs.StartDetached({{root / "recorder", "-conf", kHandedFile},
                              {"SDL_VIDEODRIVER=dummy"},
                              root / "work",
                              "[serial]\nserial1=disabled\n"});

  const std::string record = root / "work/record.txt";
  ASSERT_TRUE(
      posix_test::WaitUntil([&] { return ::access(record.c_str(), F_OK) == 0; },
                            std::chrono::seconds(10)));
  std::istringstream lines(posix_test::ReadNativeFile(record));
  std::vector<std::string> recorded;
  for (std::string line; std::getline(lines, line);) recorded.push_back(line);
  EXPECT_THAT(recorded, ElementsAre(std::to_string(id), root / "work", "-conf",
                                    StartsWith("/dev/fd/"), "video=dummy",
                                    "[serial]", "serial1=disabled"));
  EXPECT_TRUE(posix_test::WaitUntil([&] { return !programs.IsRunning(id); },
                                    std::chrono::seconds(10)));
}

TEST(PosixProgramsTest, ProgramThatCannotStartIsAnErrorNamingIt) {
  posix_test::TemporaryDirectory root;
  PosixFileSystem files(root / "prefix", root.path());
  PosixPrograms programs(files);
  try {
    programs.StartDetached({{root / "missing"}, {}, root.path(), ""});
    FAIL() << "started a missing program";
  } catch (const Error& failure) {
    EXPECT_THAT(failure.what(), HasSubstr(root / "missing"));
    EXPECT_THAT(failure.what(), HasSubstr("No such file"));
  }
}

}  // namespace
}  // namespace zindo

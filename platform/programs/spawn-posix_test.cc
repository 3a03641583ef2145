#include "platform/programs/spawn-posix.h"

#include <filesystem>
#include <string>

#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

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

}  // namespace
}  // namespace zindo

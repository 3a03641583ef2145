#include "platform/system/process-posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

TEST(PosixProcessTest, ReportsEachDiagnosticAsOneLine) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  UniqueFd read_end(fds[0]);
  UniqueFd write_end(fds[1]);
  PosixProcess process(write_end.get());

  process.WriteDiagnosticLine("first: ZINDOK1.TXT sent");
  process.WriteDiagnosticLine("second");
  write_end.Close();

  EXPECT_EQ(
      posix_test::ReadBytes(read_end.get(), 1024, std::chrono::seconds(10)),
      "first: ZINDOK1.TXT sent\nsecond\n");
}

TEST(PosixProcessDeathTest, ExitFlushesOutputAndEndsWithTheStatus) {
  posix_test::TemporaryDirectory directory;
  std::string log = directory / "log.txt";

  EXPECT_EXIT(
      {
        std::FILE* file = std::fopen(log.c_str(), "w");
        std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
        std::fputs("last words", file);
        PosixProcess().Exit(4);
      },
      ::testing::ExitedWithCode(4), "");

  EXPECT_EQ(posix_test::ReadNativeFile(log), "last words");
}

}  // namespace
}  // namespace zindo

#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"
#include "platform/system/trace.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PosixTraceTest, AppendsOneTimedLinePerEvent) {
  posix_test::TemporaryDirectory directory;
  const std::string path = directory / "trace.log";
  std::ofstream(path) << "kept from before\n";
  FakeJournal journal;
  FakeProcess process(journal);
  FileTrace trace(path, process);

  EXPECT_TRUE(trace.enabled());
  trace.Record("request sent: 3 0 9 7 8");
  trace.Record("response written");

  const std::regex expected(
      "kept from before\n"
      "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} request sent: 3 0 9 7 8\n"
      "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} response written\n");
  EXPECT_TRUE(std::regex_match(Contents(path), expected)) << Contents(path);
  EXPECT_TRUE(process.diagnostics().empty());
}

// A trace that cannot be kept must not take the relay down, hold it up or
// flood its diagnostics: one line says so, then events are dropped. A pipe
// without a reader would block an open that waited for one.
TEST(PosixTraceTest, UnwritableTraceIsReportedOnceThenDropped) {
  posix_test::TemporaryDirectory directory;
  ASSERT_EQ(::mkfifo((directory / "fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {directory / "missing/trace.log", "No such file or directory"},
      {directory / "fifo", "No such device or address"},
  };
  for (const auto& c : cases) {
    FakeJournal journal;
    FakeProcess process(journal);
    FileTrace trace(c.path, process);

    trace.Record("first");
    trace.Record("second");

    EXPECT_FALSE(trace.enabled());
    ASSERT_EQ(process.diagnostics().size(), 1u) << c.path;
    EXPECT_THAT(process.diagnostics()[0], HasSubstr(c.path));
    EXPECT_THAT(process.diagnostics()[0], HasSubstr(c.reason));
  }
}

TEST(TraceTest, BytesAreShownInDecimal) {
  EXPECT_EQ(DecimalBytes(std::string("\x03\x00\xff", 3)), "3 0 255");
  EXPECT_EQ(DecimalBytes(""), "");
}

}  // namespace
}  // namespace zindo

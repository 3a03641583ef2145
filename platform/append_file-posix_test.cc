#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"
#include "platform/testing-posix.h"
#include "platform/trace.h"

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

// A trace that cannot be kept must not take the relay down or flood its
// diagnostics: one line says so, then events are dropped.
TEST(PosixTraceTest, UnwritableTraceIsReportedOnceThenDropped) {
  posix_test::TemporaryDirectory directory;
  FakeJournal journal;
  FakeProcess process(journal);
  FileTrace trace(directory / "missing/trace.log", process);

  trace.Record("first");
  trace.Record("second");

  EXPECT_FALSE(trace.enabled());
  ASSERT_EQ(process.diagnostics().size(), 1u);
  EXPECT_THAT(process.diagnostics()[0], HasSubstr("missing/trace.log"));
  EXPECT_THAT(process.diagnostics()[0], HasSubstr("No such file or directory"));
}

TEST(PosixTraceTest, PipeWithoutReaderFailsInsteadOfBlocking) {
  posix_test::TemporaryDirectory directory;
  const std::string path = directory / "fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  FakeJournal journal;
  FakeProcess process(journal);
  FileTrace trace(path, process);

  trace.Record("event");  // would hang here if the open blocked

  EXPECT_FALSE(trace.enabled());
  EXPECT_EQ(process.diagnostics().size(), 1u);
}

TEST(TraceTest, BytesAreShownInDecimal) {
  EXPECT_EQ(DecimalBytes(std::string("\x03\x00\xff", 3)), "3 0 255");
  EXPECT_EQ(DecimalBytes(""), "");
}

}  // namespace
}  // namespace zindo

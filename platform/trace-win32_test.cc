#include "platform/trace-win32.h"

#include <regex>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/testing-win32.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;
using win32_test::ReadNativeFile;
using win32_test::WriteNativeFile;

class RecordingProcess : public Process {
 public:
  void ReportDiagnostic(const std::string& line) override {
    lines.push_back(line);
  }
  void Exit(int) override {}
  std::vector<std::string> lines;
};

TEST(Win32TraceTest, AppendsOneTimedLinePerEvent) {
  win32_test::TemporaryDirectory directory;
  const std::string path = directory / "trace.log";
  WriteNativeFile(path, "kept from before\r\n");
  RecordingProcess process;
  Win32Trace trace(path, process);
  EXPECT_TRUE(trace.enabled());
  trace.Record("first");
  trace.Record("second \xD7\x90");
  std::string text = ReadNativeFile(path);
  EXPECT_TRUE(std::regex_match(
      text, std::regex("kept from before\r\n"
                       "\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d first\r\n"
                       "\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d second \xD7\x90\r\n")))
      << text;
  EXPECT_TRUE(process.lines.empty());
}

TEST(Win32TraceTest, OthersMayReadAndAppendWhileItIsOpen) {
  win32_test::TemporaryDirectory directory;
  const std::string path = directory / "trace.log";
  RecordingProcess process;
  Win32Trace first(path, process);
  Win32Trace second(path, process);
  first.Record("one");
  second.Record("two");
  first.Record("three");
  std::string text = ReadNativeFile(path);
  EXPECT_LT(text.find(" one"), text.find(" two"));
  EXPECT_LT(text.find(" two"), text.find(" three"));
  EXPECT_TRUE(process.lines.empty());
}

TEST(Win32TraceTest, AFileThatCannotBeOpenedIsReportedOnceAndDropped) {
  win32_test::TemporaryDirectory directory;
  RecordingProcess process;
  Win32Trace trace(directory / "missing\\trace.log", process);
  trace.Record("lost");
  trace.Record("lost too");
  EXPECT_FALSE(trace.enabled());
  ASSERT_EQ(process.lines.size(), 1u);
  EXPECT_THAT(process.lines[0], HasSubstr("open trace file "));
  EXPECT_THAT(process.lines[0], HasSubstr("missing\\trace.log: "));
  EXPECT_THAT(process.lines[0], HasSubstr("(error 3)"));
  EXPECT_THAT(process.lines[0], HasSubstr("tracing stops"));
}

TEST(Win32TraceTest, TimeOfDayIsPaddedToTheMillisecond) {
  EXPECT_TRUE(std::regex_match(
      LocalTimeOfDay(), std::regex("[0-2]\\d:[0-5]\\d:[0-5]\\d\\.\\d{3}")));
}

}  // namespace
}  // namespace zindo

#include <regex>
#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"
#include "platform/system/trace.h"
#include "platform/testing/testing-win32.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

class Win32TraceTest : public ::testing::Test {
 protected:
  win32_test::TemporaryDirectory directory_;
  FakeJournal journal_;
  FakeProcess process_{journal_};
};

// Two traces on one file stand for someone else appending (or reading)
// while the relay has it open.
TEST_F(Win32TraceTest, AppendsOneTimedLinePerEventBesideOthers) {
  const std::string path = directory_ / "trace.log";
  win32_test::WriteNativeFile(path, "kept from before\r\n");
  FileTrace first(path, process_);
  FileTrace second(path, process_);
  EXPECT_TRUE(first.enabled());
  first.Record("first");
  second.Record("second \xD7\x90");
  first.Record("third");
  const std::string time = "[0-2]\\d:[0-5]\\d:[0-5]\\d\\.\\d{3} ";
  std::string text = win32_test::ReadNativeFile(path);
  EXPECT_TRUE(std::regex_match(
      text, std::regex("kept from before\r\n" + time + "first\r\n" + time +
                       "second \xD7\x90\r\n" + time + "third\r\n")))
      << text;
  EXPECT_TRUE(process_.diagnostics().empty());
}

TEST_F(Win32TraceTest, AFileThatCannotBeOpenedIsReportedOnceAndDropped) {
  FileTrace trace(directory_ / "missing\\trace.log", process_);
  trace.Record("lost");
  trace.Record("lost too");
  EXPECT_FALSE(trace.enabled());
  ASSERT_EQ(process_.diagnostics().size(), 1u);
  EXPECT_THAT(process_.diagnostics()[0], HasSubstr("open trace file "));
  EXPECT_THAT(process_.diagnostics()[0], HasSubstr("missing\\trace.log: "));
  EXPECT_THAT(process_.diagnostics()[0], HasSubstr("(error 3)"));
  EXPECT_THAT(process_.diagnostics()[0], HasSubstr("tracing stops"));
}

}  // namespace
}  // namespace zindo

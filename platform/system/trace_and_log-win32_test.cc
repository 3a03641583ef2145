#include <regex>
#include <string>
#include <vector>

#include "base/dos_path.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"
#include "platform/system/failure_log.h"
#include "platform/system/process-win32.h"
#include "platform/system/trace.h"
#include "platform/testing/testing-win32.h"
#include "platform/windows-win32.h"

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

// The log's folders are made at its first line; lines end as Windows text
// does; a log past its limit is set aside, replacing the older one.
TEST_F(Win32TraceTest, FailureLogKeepsDatedLinesAndIsSetAsideWhenLong) {
  const std::string folder = directory_ / "Local\\zindo-relay";
  const FailureLogPlace place{folder, folder + "\\zindo-relay.log",
                              folder + "\\zindo-relay.old.log"};
  std::vector<std::string> reports;
  FileFailureLog log(place,
                     [&](const std::string& line) { reports.push_back(line); });
  EXPECT_EQ(log.LastFailure(), "");

  log.RecordFailure("open COM3: gone");
  log.RecordMessage("shown", "");

  const std::string stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ";
  const std::string text = win32_test::ReadNativeFile(place.path);
  EXPECT_TRUE(
      std::regex_match(text, std::regex(stamp + "open COM3: gone\r\n" + stamp +
                                        "message shown: shown\r\n")))
      << text;
  EXPECT_THAT(log.LastFailure(), ::testing::EndsWith(" open COM3: gone"));

  win32_test::WriteNativeFile(
      place.path, std::string(FileFailureLog::kLimitBytes, '.') + "\r\n");
  log.RecordFailure("later");
  EXPECT_EQ(win32_test::ReadNativeFile(place.older).size(),
            FileFailureLog::kLimitBytes + 2);
  EXPECT_THAT(win32_test::ReadNativeFile(place.path),
              ::testing::EndsWith(" later\r\n"));
  EXPECT_TRUE(reports.empty());
}

// The log's folders are made below a drive or a share, written whichever
// way, never as the root itself.
TEST_F(Win32TraceTest, FailureLogFoldersAreMadeBelowTheRoot) {
  const std::string folder = "\\\\?\\" + directory_ / "long\\zindo-relay";
  FileFailureLog log({folder, folder + "\\zindo-relay.log", ""},
                     [](const std::string& line) { FAIL() << line; });
  log.RecordFailure("open COM3: gone");
  EXPECT_THAT(log.LastFailure(), ::testing::EndsWith(" open COM3: gone"));
}

// A relative %LOCALAPPDATA% is no place for the log: the user's own folder
// is taken, as when it is unset. A share is taken as it is.
TEST(Win32FailureLogPlaceTest, ALocalAppDataThatIsNoWholePathIsPassedOver) {
  const std::string kept = EnvironmentVariable(L"LOCALAPPDATA");
  const std::pair<const wchar_t*, std::string> cases[] = {
      {L"\\\\server\\share\\Local\\",
       "\\\\server\\share\\Local\\zindo-relay\\zindo-relay.log"},
      {L"AppData\\Local", ""},
      {nullptr, ""},
  };
  for (const auto& [value, path] : cases) {
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", value);
    const FailureLogPlace place = FailureLogPlaceHere();
    if (!path.empty()) {
      EXPECT_EQ(place.path, path);
    } else {
      EXPECT_GT(WindowsPathRootLength(place.path), 0u) << place.path;
      EXPECT_THAT(place.path,
                  ::testing::EndsWith("\\zindo-relay\\zindo-relay.log"));
    }
  }
  ::SetEnvironmentVariableW(L"LOCALAPPDATA", ToUtf16(kept).c_str());
}

}  // namespace
}  // namespace zindo

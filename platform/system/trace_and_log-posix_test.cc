#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <latch>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"
#include "platform/system/failure_log.h"
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

FailureLogPlace PlaceIn(const std::string& folder) {
  return {folder, folder + "/zindo-relay.log", folder + "/zindo-relay.old.log"};
}

// Dated lines, one each, in folders made at the first line; the last
// failure is read back past the messages shown after it.
TEST(PosixFailureLogTest, KeepsDatedLinesInFoldersItMakes) {
  posix_test::TemporaryDirectory directory;
  const FailureLogPlace place = PlaceIn(directory / "state/zindo-relay");
  std::vector<std::string> reports;
  FileFailureLog log(place,
                     [&](const std::string& line) { reports.push_back(line); });
  EXPECT_EQ(log.LastFailure(), "");
  struct stat status;
  EXPECT_NE(::stat((directory / "state").c_str(), &status), 0) << "read only";

  log.RecordFailure("open COM3: No such file or directory\nand more");
  log.RecordMessage("\xD7\x97\xD7\x9C\xD7\x94", "");

  const std::string stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ";
  const std::string first = "open COM3: No such file or directory and more";
  EXPECT_TRUE(
      std::regex_match(Contents(place.path),
                       std::regex(stamp + first + "\n" + stamp +
                                  "message shown: \xD7\x97\xD7\x9C\xD7\x94\n")))
      << Contents(place.path);
  EXPECT_THAT(log.LastFailure(), ::testing::EndsWith(" " + first));
  EXPECT_TRUE(reports.empty());
  const std::string made[] = {directory / "state", place.folder};
  for (const std::string& folder : made) {
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
  }
}

// The last failure is found however many lines follow it, in the log set
// aside when the current one holds none; a line cut short is ended before
// the next one, which then stands on its own.
TEST(PosixFailureLogTest, TheLastFailureIsFoundBehindAnyNumberOfLines) {
  posix_test::TemporaryDirectory directory;
  const FailureLogPlace place = PlaceIn(directory / "zindo-relay");
  posix_test::MakeDirectory(place.folder);
  const std::string failure = "2026-12-08 14:03:22 open COM3: gone";
  std::string messages;
  while (messages.size() < 300 * 1024) {
    messages += "2026-12-09 08:00:00 message shown (why): text\n";
  }
  std::ofstream(place.path) << "2026-12-01 08:00:00 older cause\n"
                            << failure << "\n"
                            << messages;
  FileFailureLog log(place, nullptr);
  EXPECT_EQ(log.LastFailure(), failure);

  ASSERT_EQ(::rename(place.path.c_str(), place.older.c_str()), 0);
  std::ofstream(place.path)
      << messages << "2026-12-10 08:00:00 message shown: cut sh";
  EXPECT_EQ(log.LastFailure(), failure);
  log.RecordFailure("later");
  const std::string text = Contents(place.path);
  EXPECT_THAT(text, ::testing::EndsWith("cut sh\n" + log.LastFailure() + "\n"));
  EXPECT_THAT(log.LastFailure(), ::testing::EndsWith(" later"));
}

// Relays that append to one log at once, and find it full together, set it
// aside once: every line is kept whole, the history before it with them.
// Each round starts them together on a full log.
TEST(PosixFailureLogTest, RelaysThatSetTheLogAsideTogetherLoseNoLine) {
  posix_test::TemporaryDirectory directory;
  const FailureLogPlace place = PlaceIn(directory / "zindo-relay");
  posix_test::MakeDirectory(place.folder);
  constexpr std::uint64_t kLimit = 4096;
  constexpr int kRelays = 4;
  for (int round = 0; round < 300; ++round) {
    const std::string history = "history " + std::to_string(round) + "\n";
    std::ofstream(place.path) << history << std::string(kLimit, '.') << "\n";
    std::latch start(kRelays);
    std::vector<std::thread> relays;
    for (int relay = 0; relay < kRelays; ++relay) {
      relays.emplace_back([&, relay] {
        FileFailureLog log(place, nullptr, kLimit);
        start.arrive_and_wait();
        log.RecordFailure("relay " + std::to_string(relay));
      });
    }
    for (std::thread& relay : relays) relay.join();

    ASSERT_THAT(Contents(place.older), ::testing::StartsWith(history));
    std::istringstream lines(Contents(place.path));
    std::vector<std::string> kept;
    for (std::string line; std::getline(lines, line);) {
      ASSERT_TRUE(std::regex_match(
          line,
          std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d relay \\d")))
          << line;
      kept.push_back(line.substr(20));
    }
    std::sort(kept.begin(), kept.end());
    ASSERT_THAT(kept, ::testing::ElementsAre("relay 0", "relay 1", "relay 2",
                                             "relay 3"))
        << "round " << round;
  }
}

// Past its limit the log is set aside, replacing the older one, and the
// last failure may then be in the older one.
TEST(PosixFailureLogTest, ALongLogIsSetAsideAndStartedAfresh) {
  posix_test::TemporaryDirectory directory;
  const FailureLogPlace place = PlaceIn(directory / "zindo-relay");
  const std::string old_cause = "2026-12-08 14:03:22 open COM3: gone\n";
  posix_test::MakeDirectory(place.folder);
  std::ofstream(place.older) << "older still\n";
  std::ofstream(place.path)
      << std::string(FileFailureLog::kLimitBytes, '.') << "\n"
      << old_cause;
  FileFailureLog log(place, nullptr);

  log.RecordMessage("shown", "");

  EXPECT_THAT(Contents(place.path),
              ::testing::EndsWith(" message shown: shown\n"));
  const std::string fresh = Contents(place.path);
  EXPECT_EQ(std::count(fresh.begin(), fresh.end(), '\n'), 1) << fresh.size();
  EXPECT_THAT(Contents(place.older), ::testing::EndsWith(old_cause));
  EXPECT_EQ(log.LastFailure() + "\n", old_cause);
}

// A log that cannot be kept is said once, and the relay goes on.
TEST(PosixFailureLogTest, AnUnwritableLogIsReportedOnceThenLeftAlone) {
  posix_test::TemporaryDirectory directory;
  std::ofstream(directory / "file") << "in the way\n";
  std::vector<std::string> reports;
  FileFailureLog log(PlaceIn(directory / "file/zindo-relay"),
                     [&](const std::string& line) { reports.push_back(line); });
  log.RecordFailure("first");
  log.RecordMessage("second", "why");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], HasSubstr("create " + directory / "file"));
  EXPECT_THAT(reports[0], HasSubstr("the log stops"));
}

}  // namespace
}  // namespace zindo

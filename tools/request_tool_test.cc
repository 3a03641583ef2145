#include "tools/request_tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/test_bytes.h"
#include "exchange/file_names.h"
#include "exchange/request_decoder.h"
#include "exchange/request_encoder.h"
#include "platform/files/file_system-posix.h"

namespace zindo::tools {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Optional;
namespace fs = std::filesystem;

TEST(ParseByteTest, DecimalAndHexWithinAByte) {
  EXPECT_EQ(ParseByte("0"), 0);
  EXPECT_EQ(ParseByte("255"), 255);
  EXPECT_EQ(ParseByte("007"), 7);
  EXPECT_EQ(ParseByte("0x0"), 0);
  EXPECT_EQ(ParseByte("0xff"), 255);
  EXPECT_EQ(ParseByte("0X1A"), 26);
  EXPECT_EQ(ParseByte("0x00ff"), 255);
  for (const char* bad : {"256", "0x100", "99999999999999999999", "", "0x",
                          "-1", "+1", " 1", "1a", "0x1g", "1.0"}) {
    EXPECT_THROW(ParseByte(bad), UsageError) << bad;
  }
}

RequestOptions Parse(std::vector<std::string> arguments) {
  return ReadRequestOptions(ParseCommandLine(arguments, RequestToolOptions()));
}

TEST(RequestOptionsTest, BytesAndOptions) {
  const RequestOptions send =
      Parse({"--dir", "/w", "5", "0", "0x10", "--wait"});
  EXPECT_EQ(send.task, Task::kSend);
  EXPECT_EQ(send.directory, "/w");
  EXPECT_EQ(send.bytes, Bytes({5, 0, 16}));
  EXPECT_THAT(send.wait_seconds, Optional(kDefaultWaitSeconds));
  EXPECT_FALSE(send.force);

  const RequestOptions quit = Parse({"--quit", "--wait=2.5", "--force"});
  EXPECT_EQ(quit.task, Task::kQuit);
  EXPECT_EQ(quit.directory, ".");
  EXPECT_THAT(quit.wait_seconds, Optional(2.5));
  EXPECT_TRUE(quit.force);

  EXPECT_EQ(Parse({"--raw"}).task, Task::kSendRaw);  // an empty file
  EXPECT_EQ(Parse({"--decode=f.txt"}).decode_path, "f.txt");
}

TEST(RequestOptionsTest, RefusesWhatItCannotFollow) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{}, "no bytes given"},
      {{"--wait=0", "1"}, "more than 0"},
      {{"--wait=soon", "1"}, "more than 0"},
      {{"--quit", "1"}, "--quit takes no bytes"},
      {{"--raw", "--quit"}, "cannot be given together"},
      {{"--decode", "f", "1"}, "only the file"},
      {{"--decode", "f", "--wait"}, "only the file"},
      {{"--dir"}, "--dir needs a value"},
      {{"--dir=", "1"}, "needs a directory"},
      {{"--verbose", "1"}, "unknown option --verbose"},
      {{"-1"}, "\"-1\" is not a byte"},
      {{"300"}, "300 is more than a byte"},
  };
  for (const auto& [arguments, reason] : bad) {
    try {
      Parse(arguments);
      ADD_FAILURE() << "accepted " << testing::PrintToString(arguments);
    } catch (const UsageError& usage) {
      EXPECT_THAT(usage.what(), HasSubstr(reason));
    }
  }
}

class RequestFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (fs::temp_directory_path() / "request_tool_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string Path(const std::string& name) const {
    return directory_ + "/" + name;
  }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string directory_;
};

TEST_F(RequestFilesTest, WritesARequestTheRelayDecodes) {
  const std::string message = Bytes({6, 0, 255, 255, 255, 4, 4, 4});
  WriteRequestFile(directory_, EncodeRequest(message), false);
  EXPECT_THAT(Names(), ElementsAre(kRequestCreateName));
  StringByteSource file(ReadWholeFile(Path(kRequestCreateName)));
  EXPECT_EQ(DecodeRequest(file), message);
}

TEST_F(RequestFilesTest, ReplacesAWaitingRequestOnlyWhenForced) {
  // However many cases of the name wait, one request stays, stored exactly
  // as the companion names it.
  const std::vector<std::vector<std::string>> waiting_sets = {
      {"zindok1.txt"},
      {"ZINDOK1.TXT", "zindok1.txt"},
      {"ZinDoK1.txt", "zindok1.TXT"},
  };
  for (const std::vector<std::string>& waiting : waiting_sets) {
    SCOPED_TRACE(testing::PrintToString(waiting));
    for (const std::string& name : waiting) Write(name, "old " + name);
    EXPECT_THROW(WriteRequestFile(directory_, "new", false), RequestWaiting);
    EXPECT_EQ(Names(), waiting);
    EXPECT_EQ(ReadWholeFile(Path(waiting.back())), "old " + waiting.back());

    WriteRequestFile(directory_, "new", true);
    EXPECT_THAT(Names(), ElementsAre(kRequestCreateName));
    EXPECT_EQ(ReadWholeFile(Path(kRequestCreateName)), "new");
    fs::remove(Path(kRequestCreateName));
  }
}

constexpr auto kTick = std::chrono::milliseconds(10);

// Waits up to 5 s for a reader to open `name` in the directory that
// `watch` (an inotify instance) watches, and to close it unwritten. Returns
// whether one did.
bool AwaitReadOf(int watch, const std::string& name) {
  bool opened = false;
  alignas(inotify_event) char buffer[4096];
  for (pollfd ready{watch, POLLIN, 0}; ::poll(&ready, 1, 5000) > 0;) {
    const ssize_t got = ::read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->len == 0 || name != event->name) continue;
      if (event->mask & IN_OPEN) opened = true;
      if (opened && (event->mask & IN_CLOSE_NOWRITE)) return true;
    }
  }
  return false;
}

// Plays the relay: takes the request, then writes a reply in two steps, as a
// reader may catch a file being written. The reply is finished only once
// the reader has opened and read the unfinished one; returns whether it did.
bool AnswerLikeTheRelay(const std::string& directory) {
  const std::string request = directory + "/" + kRequestCreateName;
  for (int tick = 0; !fs::exists(request); ++tick) {
    if (tick == 500) return false;
    std::this_thread::sleep_for(kTick);
  }
  fs::remove(request);
  const std::string response = directory + "/ZINDOK2.TXT";
  std::ofstream(response, std::ios::binary) << "/0,9,";
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ::inotify_add_watch(watch, directory.c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
  const bool read = AwaitReadOf(watch, "ZINDOK2.TXT");
  ::close(watch);
  std::ofstream(response, std::ios::binary) << "/0,9,0,200\r\n";
  return read;
}

TEST_F(RequestFilesTest, WaitsForTheRequestToBeTakenAndTheReplyToChange) {
  Write("ZINDOK2.TXT", "/0,1,0,1\r\n");  // an earlier reply, any case
  const FileState before = ReadFileState(directory_, kResponseFileName);
  ASSERT_TRUE(before.present());
  bool unfinished_reply_read = false;
  std::thread relay(
      [&] { unfinished_reply_read = AnswerLikeTheRelay(directory_); });
  WriteRequestFile(directory_, EncodeRequest(Bytes({0, 0})), false);
  std::string reply;
  EXPECT_NO_THROW(reply = WaitForReply(directory_, before, 5.0));
  relay.join();
  EXPECT_TRUE(unfinished_reply_read);
  EXPECT_EQ(reply, Bytes({9, 0, 200}));
}

TEST_F(RequestFilesTest, TimesOutWhenNoRelayTakesTheRequest) {
  const FileState before = ReadFileState(directory_, kResponseFileName);
  WriteRequestFile(directory_, "x", false);
  try {
    WaitForReply(directory_, before, 0.1);
    FAIL() << "no time-out";
  } catch (const WaitTimedOut& timeout) {
    EXPECT_THAT(timeout.what(), HasSubstr("has not taken"));
    EXPECT_THAT(timeout.what(), HasSubstr("within 0.1 s"));
  }
}

}  // namespace
}  // namespace zindo::tools

// zindo-devsim itself on a pseudo-terminal it creates: a request in, a
// reply out in timed chunks, play going on across a close and reopen of the
// port, and a clean end on SIGTERM.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/test_bytes.h"
#include "platform/system/clock.h"

namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using zindo::Bytes;

extern "C" char** environ;

bool WaitFor(const std::function<bool()>& condition, milliseconds limit) {
  const double deadline =
      zindo::MonotonicNow() + std::chrono::duration<double>(limit).count();
  while (!condition()) {
    if (zindo::MonotonicNow() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The port as the relay opens it: raw, without blocking.
int OpenPort(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fd;
  termios line{};
  tcgetattr(fd, &line);
  cfmakeraw(&line);
  tcsetattr(fd, TCSANOW, &line);
  return fd;
}

struct Arrival {
  double at;  // seconds, on the monotonic clock
  std::string bytes;
};

// What arrives on `fd` until `count` bytes have, or a second has passed.
// Reads less than 50 ms apart count as one arrival.
std::vector<Arrival> Receive(int fd, std::size_t count) {
  std::vector<Arrival> arrivals;
  std::size_t received = 0;
  const double deadline = zindo::MonotonicNow() + 1.0;
  while (received < count && zindo::MonotonicNow() < deadline) {
    pollfd watched{fd, POLLIN, 0};
    if (poll(&watched, 1, 50) <= 0) continue;
    char buffer[64];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) continue;
    const double now = zindo::MonotonicNow();
    if (arrivals.empty() || now - arrivals.back().at > 0.050) {
      arrivals.push_back({now, ""});
    }
    arrivals.back().bytes.append(buffer, got);
    received += got;
  }
  return arrivals;
}

class DevsimPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zindo-devsim-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    link_ = dir_ + "/com1";
    log_ = dir_ + "/device.log";
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(dir_);
  }

  void Start(const std::vector<std::string>& rules) {
    std::vector<std::string> args = {ZINDO_DEVSIM_PATH, "--link", link_,
                                     "--log", log_};
    for (const std::string& rule : rules) {
      args.push_back("--rule");
      args.push_back(rule);
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null",
                                     O_WRONLY, 0);
    ASSERT_EQ(
        posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ),
        0);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::is_symlink(link_); },
                        milliseconds(3000)));
  }

  bool LogSays(const std::string& text) {
    return WaitFor([&] { return ReadWhole(log_).find(text) != npos; },
                   milliseconds(1000));
  }

  static constexpr auto npos = std::string::npos;
  std::string dir_;
  std::string link_;
  std::string log_;
  pid_t pid_ = -1;
};

TEST_F(DevsimPtyTest, AnswersInChunksKeepsPlayingAcrossAReopenAndEndsOnTerm) {
  Start({"prefix 3,0: reply 5,0,1,2,3,4,5 chunks 3 gap 150", "any: echo"});
  int port = OpenPort(link_);
  ASSERT_GE(port, 0);
  const std::string request = Bytes({3, 0, 9, 7, 8});
  // Taken before the write: the device cannot have the request, nor start
  // its gaps, earlier.
  const double before_write = zindo::MonotonicNow();
  ASSERT_EQ(write(port, request.data(), request.size()), 5);
  const double sent_at = zindo::MonotonicNow();

  const std::vector<Arrival> reply = Receive(port, 7);
  ASSERT_EQ(reply.size(), 3u);
  EXPECT_EQ(reply[0].bytes, Bytes({5, 0, 1}));
  EXPECT_EQ(reply[1].bytes, Bytes({2, 3, 4}));
  EXPECT_EQ(reply[2].bytes, Bytes({5}));
  EXPECT_LT(reply[0].at - sent_at, 0.100);
  for (int i = 1; i < 3; ++i) {
    // Chunk i follows i whole gaps. Measured from before the request, not
    // from the chunk before it, which a busy machine may have read late.
    EXPECT_GE(reply[i].at - before_write, i * 0.150);
    EXPECT_LT(reply[i].at - reply[i - 1].at, 0.250);
  }
  // The log gives each wait in milliseconds to a tenth; a chunk after a gap
  // is never written before the gap has run.
  ASSERT_TRUE(LogSays("(chunk 3/3, waited "));
  const std::string log = ReadWhole(log_);
  const std::regex waited(R"(\(chunk ([23])/3, waited (\d+\.\d) ms\))");
  int gapped = 0;
  for (std::sregex_iterator it(log.begin(), log.end(), waited), end; it != end;
       ++it, ++gapped) {
    EXPECT_GE(std::stod((*it)[2]), 150.0) << (*it)[0];
  }
  EXPECT_EQ(gapped, 2) << log;

  close(port);  // as the relay does when it recovers the line
  ASSERT_TRUE(LogSays("port closed"));
  port = OpenPort(link_);
  ASSERT_GE(port, 0);
  const std::string other = Bytes({1, 0, 42});
  ASSERT_EQ(write(port, other.data(), other.size()), 3);
  const std::vector<Arrival> echo = Receive(port, 3);
  close(port);
  ASSERT_EQ(echo.size(), 1u);
  EXPECT_EQ(echo[0].bytes, other);

  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::is_symlink(link_));
  EXPECT_THAT(ReadWhole(log_),
              HasSubstr("rule 1 matched (prefix 3,0: reply 5,0,1,2,3,4,5 "
                        "chunks 3 gap 150): answers 7 bytes in 3 chunks"));
}

}  // namespace

// Ending the relay from outside, and files that must not hold it up: stop
// signals, a relay killed outright, and a named pipe or a huge sparse file
// under the request's name.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

constexpr auto kLimit = 20s;

const std::string kStoppedStatus = "0,0\r\n";

// A complete 19-byte reply.
const std::string kReply =
    Bytes({17, 0, 129, 63, 1, 2, 3, 4, 5, 6, 7, 2, 0, 0, 0, 1, 184, 34, 10});
const std::string kReplyResponse =
    "/0,17,0,129,63,1,2,3,4,5,6,7,2,0,0,0,1,184,34,10\r\n";

// The relay on COM1, a pseudo-terminal whose far end the test plays, with
// its trace in the sandbox.
class StopTest : public ::testing::Test {
 protected:
  StopTest() {
    sandbox_.MapPort(1, com1_);
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif",
                       "#!/bin/sh\necho started >> companion.log\n", 0755);
    sandbox_.MakeDirectory("logs");
  }

  // Starts a relay and waits until it serves: it has started the companion
  // `starts` times in all.
  void StartRelay(int starts = 1) {
    relay_ = std::make_unique<RelayProcess>(
        sandbox_, "relay" + std::to_string(starts),
        std::vector<std::string>{"ZINDO_TRACE=" + TracePath()});
    ASSERT_TRUE(WaitUntil(
        [&] {
          return Count(sandbox_.ReadFile("work/companion.log"), '\n') >=
                     starts ||
                 !relay_->IsRunning();
        },
        kLimit));
    ASSERT_TRUE(relay_->IsRunning()) << relay_->Stderr();
  }

  std::string TracePath() const { return sandbox_.Path("logs/trace.log"); }
  std::string Trace() const {
    return sandbox_.ReadFile("logs/trace.log").value_or("");
  }
  bool AwaitTrace(const std::string& event) const {
    return WaitUntil([&] { return Trace().find(event) != std::string::npos; },
                     kLimit);
  }

  // Signals the relay, and checks that it ends as the quit request ends it.
  void SignalAndExpectNormalEnd(int signal_number, const std::string& name) {
    ASSERT_EQ(::kill(relay_->pid(), signal_number), 0);
    // More while it ends: they must change nothing.
    ::kill(relay_->pid(), signal_number);
    ::kill(relay_->pid(), SIGTERM);
    EXPECT_EQ(relay_->WaitForExit(kLimit), 0) << relay_->Stderr();
    EXPECT_EQ(sandbox_.ReadFile("work/zindoK.inf"), kStoppedStatus);
    EXPECT_FALSE(PortIsHeld(com1_.slave_path()));
    EXPECT_THAT(Trace(), HasSubstr("stop requested: " + name + "\n"));
    EXPECT_TRUE(Trace().ends_with("stopped\n")) << Trace();
  }

  static int Count(const std::optional<std::string>& text, char c) {
    return text ? static_cast<int>(std::count(text->begin(), text->end(), c))
                : 0;
  }

  Sandbox sandbox_;
  PseudoTerminal com1_;
  DeviceEnd device_{com1_};
  std::unique_ptr<RelayProcess> relay_;
};

// One relay after another on the same virtual port. The first passes over a
// named pipe under the request's name with one line on standard error, and
// takes the next request once the pipe is gone, reading only the request's
// bytes however large the file claims to be. Killed outright it cannot tidy
// up, yet the next relay takes the port, and a stop signal (each is caught
// alike, stop_signals-posix_test) ends it as the quit request does.
TEST_F(StopTest, OddRequestFilesAKillAndAStopSignal) {
  StartRelay();
  const std::string request = sandbox_.Path("work/ZINDOK1.TXT");
  ASSERT_EQ(::mkfifo(request.c_str(), 0666), 0);
  ASSERT_TRUE(AwaitTrace("passed over")) << relay_->Stderr();
  device_.Send(kReply);
  EXPECT_TRUE(WaitUntil(
      [&] { return sandbox_.ReadFile("work/zindoK2.txt") == kReplyResponse; },
      kLimit))
      << relay_->Stderr();
  ASSERT_EQ(::unlink(request.c_str()), 0);

  const std::string aside = sandbox_.Path("work/sparse.tmp");
  std::ofstream(aside, std::ios::binary) << Bytes({1, 5, 6});
  ASSERT_EQ(::truncate(aside.c_str(), 2LL << 30), 0);  // 2 GiB, sparse
  const auto read_before = relay_->ReadBytes();
  ASSERT_EQ(::rename(aside.c_str(), request.c_str()), 0);
  EXPECT_EQ(device_.Receive(3, kLimit), Bytes({1, 5, 6}));
  EXPECT_LT(relay_->ReadBytes() - read_before, 1 << 20);
  EXPECT_FALSE(sandbox_.Exists("work/ZINDOK1.TXT"));
  EXPECT_THAT(relay_->StderrLines(),
              ::testing::ElementsAre(HasSubstr(
                  "ZINDOK1.TXT is a named pipe, not a regular file")));

  ASSERT_EQ(::kill(relay_->pid(), SIGKILL), 0);
  ASSERT_EQ(relay_->WaitForExit(kLimit), 128 + SIGKILL);
  StartRelay(2);
  sandbox_.WriteFile("work/ZINDOK1.TXT", Bytes({1, 5, 6}));
  EXPECT_EQ(device_.Receive(3, kLimit), Bytes({1, 5, 6}));
  SignalAndExpectNormalEnd(SIGHUP, "SIGHUP");
  EXPECT_EQ(relay_->Stderr(), "");
}

// The quit request for an earlier relay cannot go into a pipe: the relay
// ends at once and says why, rather than wait for a reader.
TEST_F(StopTest, NamedPipeAtStartUpEndsTheRelayAtOnce) {
  const std::string pipe = sandbox_.Path("work/ZINDOK1.TXT");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
  RelayProcess relay(sandbox_);
  EXPECT_EQ(relay.WaitForExit(kLimit), 2);
  EXPECT_THAT(relay.Stderr(), HasSubstr("it is a named pipe"));
}

}  // namespace
}  // namespace zindo::e2e

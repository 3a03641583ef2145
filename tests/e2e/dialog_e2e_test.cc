// The relay's message box as a real desktop dialog: the relay runs with
// DISPLAY naming a private Xvfb server, and the test plays the user with
// xdotool. Skipped where Xvfb, zenity or xdotool is missing.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

const std::string kDefaultPortMessage =
    "com1  ניתן לשנות בתוכנת הצמצם, ברירת המחדל כעת היא";
const std::string kDefaultConfigurationPath = "prefix/drive_c/zindo/LOCAL6.DAT";
const std::string kQuitRequest("\x01\x00\x00\r\n", 5);
const std::string kCompanionScript =
    "#!/bin/sh\necho started >> companion.log\n";

bool OnPath(const std::string& program) {
  const std::string command = "command -v " + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// The first line `command` writes, run by the shell; "" when it fails.
std::string FirstLineOf(const std::string& command) {
  FILE* output = ::popen(command.c_str(), "r");
  if (output == nullptr) return "";
  char line[256] = "";
  if (std::fgets(line, sizeof line, output) == nullptr) line[0] = '\0';
  const int status = ::pclose(output);
  std::string text = status == 0 ? line : "";
  if (text.ends_with('\n')) text.pop_back();
  return text;
}

// An Xvfb server on a display number it picks itself, ended by its pid when
// destroyed. Dialogs on it end with it.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe for Xvfb");
    pid_ = ::fork();
    if (pid_ == 0) ExecXvfb(fds[1]);
    ::close(fds[1]);
    display_ = ReadDisplayNumber(fds[0]);
    ::close(fds[0]);
  }
  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", or "" when the server did not come up.
  const std::string& name() const { return display_; }

  // An X client command run against this display.
  std::string Run(const std::string& command) const {
    return FirstLineOf("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
  }

 private:
  [[noreturn]] static void ExecXvfb(int display_fd) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(null_fd, STDOUT_FILENO);
    ::dup2(null_fd, STDERR_FILENO);
    const std::string fd = std::to_string(display_fd);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp",
             "-screen", "0", "800x600x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }

  // Xvfb writes the number once it accepts connections.
  static std::string ReadDisplayNumber(int fd) {
    std::string number;
    pollfd ready{fd, POLLIN, 0};
    while (::poll(&ready, 1, 5000) == 1) {
      char c;
      if (::read(fd, &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    return number.empty() ? "" : ":" + number;
  }

  pid_t pid_ = -1;
  std::string display_;
};

// A relay without a configuration, so that it shows the default-port message
// first, on a private display.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::pair<const char*, const char*> needed[] = {
        {"Xvfb", "xvfb"}, {"zenity", "zenity"}, {"xdotool", "xdotool"}};
    for (const auto& [program, package] : needed) {
      if (!OnPath(program)) {
        GTEST_SKIP() << program << " is not installed (Debian package "
                     << package << "; make deps installs it)";
      }
    }
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_NE(display_->name(), "") << "Xvfb did not start";
    sandbox_.MapPort(1, com1_);
    sandbox_.WriteFile("work/autoexec.pif", kCompanionScript, 0755);
  }

  // Starts the relay and waits for its dialog; "" when none appeared.
  std::string StartRelayAndFindDialog() {
    relay_ = std::make_unique<RelayProcess>(
        sandbox_, "relay",
        std::vector<std::string>{"DISPLAY=" + display_->name()});
    return display_->Run(
        "timeout 10 xdotool search --sync --name '^zindo-relay$'");
  }

  std::unique_ptr<VirtualDisplay> display_;
  Sandbox sandbox_;
  PseudoTerminal com1_;
  std::unique_ptr<RelayProcess> relay_;
};

TEST_F(DialogTest, RelayWaitsUntilTheDefaultPortDialogIsDismissed) {
  VirtualDisplay& display = *display_;
  Sandbox& sandbox = sandbox_;
  const std::string window = StartRelayAndFindDialog();
  RelayProcess& relay = *relay_;
  ASSERT_NE(window, "") << "no dialog appeared; relay stderr:\n"
                        << relay.Stderr();
  EXPECT_EQ(display.Run("xdotool getwindowname " + window), "zindo-relay");
  EXPECT_THAT(relay.Stderr(), HasSubstr(kDefaultPortMessage));

  // While the dialog is up, the relay goes no further.
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(relay.IsRunning());
  EXPECT_FALSE(sandbox.Exists(kDefaultConfigurationPath));
  EXPECT_FALSE(sandbox.Exists("work/companion.log"));

  display.Run("xdotool windowfocus --sync " + window + " key Return");
  EXPECT_TRUE(
      WaitUntil([&] { return sandbox.Exists("work/companion.log"); }, 10s))
      << relay.Stderr();
  EXPECT_TRUE(sandbox.Exists(kDefaultConfigurationPath));

  sandbox.WriteFile("work/ZINDOK1.TXT", kQuitRequest);
  EXPECT_EQ(relay.WaitForExit(10s), 0) << relay.Stderr();
  EXPECT_THAT(relay.Stderr(), Not(HasSubstr("no dialog")));
}

// A stop signal closes the dialog the relay waits for, and the relay ends
// before it serves: nothing written but the stopped status.
TEST_F(DialogTest, StopSignalClosesTheDialogAndEndsTheRelay) {
  ASSERT_NE(StartRelayAndFindDialog(), "") << relay_->Stderr();
  ASSERT_EQ(::kill(relay_->pid(), SIGTERM), 0);
  EXPECT_EQ(relay_->WaitForExit(10s), 0) << relay_->Stderr();
  EXPECT_EQ(display_->Run("xdotool search --name '^zindo-relay$'"), "");
  EXPECT_EQ(sandbox_.ReadFile("work/zindoK.inf"), "0,0\r\n");
  EXPECT_FALSE(sandbox_.Exists(kDefaultConfigurationPath));
  EXPECT_FALSE(sandbox_.Exists("work/companion.log"));
}

}  // namespace
}  // namespace zindo::e2e

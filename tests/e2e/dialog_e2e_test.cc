// The relay's message box as a real desktop dialog: the relay runs with
// DISPLAY naming a private Xvfb server, and the test plays the user with
// xdotool. Skipped where Xvfb, zenity or xdotool is missing.

#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
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
  const std::string window = StartRelayAndFindDialog();
  VirtualDisplay& display = *display_;
  Sandbox& sandbox = sandbox_;
  RelayProcess& relay = *relay_;
  ASSERT_NE(window, "") << "no dialog appeared; relay stderr:\n"
                        << relay.Stderr();
  EXPECT_EQ(display.Run("xdotool getwindowname " + window), "zindo-relay");
  EXPECT_THAT(relay.Stderr(), HasSubstr(kDefaultPortMessage));

  // While the dialog is up, the relay goes no further. One that did not
  // wait would have written the configuration and started the companion
  // long before the dialog's window came up.
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

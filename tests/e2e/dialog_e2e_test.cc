// The relay's message box as a real desktop dialog: the relay runs with
// DISPLAY naming a private Xvfb server, and the test plays the user with
// xdotool. Skipped where Xvfb, zenity or xdotool is missing.

#include <unistd.h>

#include <chrono>
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

TEST(DialogTest, RelayWaitsUntilTheDefaultPortDialogIsDismissed) {
  const std::pair<const char*, const char*> needed[] = {
      {"Xvfb", "xvfb"}, {"zenity", "zenity"}, {"xdotool", "xdotool"}};
  for (const auto& [program, package] : needed) {
    if (!OnPath(program)) {
      GTEST_SKIP() << program << " is not installed (Debian package " << package
                   << "; make deps installs it)";
    }
  }
  VirtualDisplay display;
  ASSERT_NE(display.name(), "") << "Xvfb did not start";
  Sandbox sandbox;
  PseudoTerminal com1;
  sandbox.MapPort(1, com1);
  sandbox.WriteFile("work/autoexec.pif", kCompanionScript, 0755);

  // No configuration: the relay shows the default-port message first.
  RelayProcess relay(sandbox, "relay", {"DISPLAY=" + display.name()});
  const std::string window =
      display.Run("timeout 10 xdotool search --sync --name '^zindo-relay$'");
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

}  // namespace
}  // namespace zindo::e2e

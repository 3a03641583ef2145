#include "dos/dosbox_settings.h"

#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(DosboxSettingsTest, UserSettingsApplyExceptWhatTheRelayNeeds) {
  const std::string user =
      "[sdl]\r\nfullscreen=true\r\nmapperfile=mine.map\r\n"
      "[serial]\nserial1=directserial realport:ttyS0\n"
      "[cpu]\ncycles=max\n"
      " [AutoExec]\nmount c /\n[dos]\nkeyboardlayout=he\n"
      "[zindo-relay]\nidlehelper=false\n[mixer]\nnosound=true\n";
  const std::string config =
      DosboxConfig(TraitsOf(kBaseDosboxLine), user, false, "Z.EXE");
  // The user's own lines come after the relay's defaults...
  EXPECT_LT(config.find("mpu401=none"), config.find("cycles=max"));
  EXPECT_THAT(config, HasSubstr("fullscreen=true"));
  EXPECT_THAT(config, HasSubstr("keyboardlayout=he"));
  // ...and what the relay depends on comes last, so it wins.
  for (int port = 1; port <= 4; ++port) {
    const std::string disabled =
        "serial" + std::to_string(port) + "=disabled\n";
    EXPECT_GT(config.rfind(disabled), config.find("realport:ttyS0"));
  }
  EXPECT_GT(config.rfind("mapperfile=/dev/null/"), config.find("mine.map"));
  // The relay runs the companion itself: no autoexec of the user's.
  EXPECT_THAT(config, Not(HasSubstr("mount c /")));
  // The only [autoexec] is the relay's, last, which turns the echo of its
  // commands off.
  EXPECT_THAT(config, Not(HasSubstr("utoExec")));
  EXPECT_EQ(config.find("utoexec"), config.rfind("utoexec"));
  EXPECT_TRUE(config.ends_with("\n[autoexec]\n@echo off\n")) << config;
  // Nor the relay's own settings, which are not DOSBox's.
  EXPECT_THAT(config, Not(HasSubstr("idlehelper")));
  EXPECT_THAT(config, HasSubstr("[mixer]\nnosound=true\n"));
  EXPECT_THAT(DosboxConfig(TraitsOf(kBaseDosboxLine), "", true, "Z.EXE"),
              HasSubstr("serial4=disabled\n"));
}

// The PIF's title where a title bar can show it as it is, else the
// program's name.
TEST(DosboxSettingsTest, WindowIsNamedAfterTheCompanion) {
  const struct {
    ProgramInformation program;
    const char* title;
  } cases[] = {
      {{"C:\\SHOP\\ORDERS.EXE", "", "", "Orders 2000"}, "Orders 2000"},
      {{"C:\\SHOP\\ORDERS.EXE", "", "", ""}, "ORDERS.EXE"},
      {{"ORDERS.BAT", "", "", ""}, "ORDERS.BAT"},
      {{"C:ORDERS.COM", "", "", ""}, "ORDERS.COM"},
      // In the DOS code page (Hebrew), or with a quote that would end the
      // setting that holds it.
      {{"C:\\ORDERS.EXE", "", "", "\x80\x81\x82"}, "ORDERS.EXE"},
      {{"C:\\ORDERS.EXE", "", "", "The \"Shop\""}, "ORDERS.EXE"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowTitle(c.program), c.title) << c.program.title;
  }
}

}  // namespace
}  // namespace zindo

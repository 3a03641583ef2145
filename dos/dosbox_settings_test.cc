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
  const std::string config = DosboxConfig(kBaseDosboxLine, user, false);
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
  EXPECT_THAT(config, Not(HasSubstr("utoexec")));
  // Nor the relay's own settings, which are not DOSBox's.
  EXPECT_THAT(config, Not(HasSubstr("idlehelper")));
  EXPECT_THAT(config, HasSubstr("[mixer]\nnosound=true\n"));
  EXPECT_THAT(DosboxConfig(kBaseDosboxLine, "", true),
              HasSubstr("serial4=disabled\n"));
}

}  // namespace
}  // namespace zindo

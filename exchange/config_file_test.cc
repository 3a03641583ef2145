#include "exchange/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zindo {
namespace {

using ::testing::Optional;

TEST(ParsePortFieldTest, AcceptsSixteenBitDecimalsWithSpacesAround) {
  EXPECT_THAT(ParsePortField("3"), Optional(3));
  EXPECT_THAT(ParsePortField(" \t12 "), Optional(12));
  EXPECT_THAT(ParsePortField("+7"), Optional(7));
  EXPECT_THAT(ParsePortField("-1"), Optional(-1));
  EXPECT_THAT(ParsePortField("32767"), Optional(32767));
  EXPECT_THAT(ParsePortField("-32768"), Optional(-32768));
}

TEST(ParsePortFieldTest, RefusesAnythingElse) {
  for (const char* field :
       {"", "  ", "+", "-", "com1", "3x", "3 4", "0x10", "32768", "-32769",
        "99999999999999999999", "+-3", "1.5"}) {
    EXPECT_EQ(ParsePortField(field), std::nullopt) << '"' << field << '"';
  }
}

}  // namespace
}  // namespace zindo

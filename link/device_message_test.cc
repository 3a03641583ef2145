#include "link/device_message.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/test_bytes.h"

namespace zindo {
namespace {

TEST(DeviceMessageTest, FixedPacketsAnnounceTheirOwnLength) {
  const DevicePackets packets = BuildDevicePackets();
  EXPECT_EQ(packets.probe, Bytes({16, 0, 129, 127, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0,
                                  161, 192, 39, 114}));
  EXPECT_EQ(ExpectedLength(packets.probe), packets.probe.size());
  EXPECT_EQ(ExpectedLength(packets.reply_template),
            packets.reply_template.size());
  EXPECT_FALSE(IsShortReply(packets.reply_template));
}

TEST(DeviceMessageTest, LengthRuleAndEmptyFrame) {
  std::string reply(19, '\0');
  reply[0] = 17;
  EXPECT_FALSE(IsShortReply(reply));
  EXPECT_TRUE(IsShortReply(reply.substr(0, 18)));
  EXPECT_FALSE(IsShortReply(reply + "extra"));  // longer is passed whole
  EXPECT_FALSE(IsEmptyFrame(reply));
  EXPECT_TRUE(IsEmptyFrame(Bytes({0})));
  EXPECT_TRUE(IsEmptyFrame(Bytes({0, 0})));
  EXPECT_FALSE(IsEmptyFrame(""));
  EXPECT_FALSE(IsShortReply(""));
}

TEST(DeviceMessageTest, SyntheticRepliesMarkByte12AndKeepByte13) {
  const DevicePackets packets = BuildDevicePackets();
  const std::string nothing_kept = Bytes(
      {17, 0, 129, 63, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 1, 184, 34, 10});
  EXPECT_EQ(SyntheticReply(packets, 255), nothing_kept);

  std::string twelve(12, '\x05');
  twelve[0] = 17;
  EXPECT_EQ(RepairShortReply(packets, twelve), nothing_kept);

  std::string thirteen = twelve + '\x2c';
  std::string expected = nothing_kept;
  expected[12] = 44;
  EXPECT_EQ(RepairShortReply(packets, thirteen), expected);
}

}  // namespace
}  // namespace zindo

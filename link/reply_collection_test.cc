#include "link/reply_collection.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/error.h"
#include "link/device_line_test.h"

namespace zindo {
namespace {

using Kind = CollectedReply::Kind;
using line_test::Reply;

const std::string kNothingKept = Bytes(
    {17, 0, 129, 63, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 1, 184, 34, 10});

class LinkTest : public line_test::DeviceLineTest {
 protected:
  // Collects, and notes how long it took.
  CollectedReply Collect() {
    const double start = fake_.clock.now();
    CollectedReply reply = CollectReply(port_, waits_, packets_, fake_.trace);
    took_ = fake_.clock.now() - start;
    return reply;
  }

  double took_ = 0;
};

// ---- reply collection ----

// A burst of 13 bytes or more is taken after one steady sample; fewer wait
// the full deadline. A short reply is replaced from the template.
TEST_F(LinkTest, BurstIsTakenOnceItHasSettled) {
  const struct {
    std::string sent;
    std::string collected;
    double least_seconds;
    double most_seconds;
  } bursts[] = {{Reply(17, 19), Reply(17, 19), 0.3, 0.35},
                {Bytes({3, 0, 7, 8, 9}), Bytes({3, 0, 7, 8, 9}), 6.0, 6.35},
                {Reply(17, 10), kNothingKept, 6.0, 6.35}};
  for (const auto& burst : bursts) {
    SCOPED_TRACE(burst.least_seconds);
    DeviceSends(burst.sent);
    const CollectedReply reply = Collect();
    EXPECT_EQ(reply.kind, Kind::kReply);
    EXPECT_EQ(reply.bytes, burst.collected);
    EXPECT_GT(took_, burst.least_seconds);
    EXPECT_LT(took_, burst.most_seconds);
    EXPECT_EQ(line().received, "");
  }
}

TEST_F(LinkTest, ReplyStillGrowingIsTakenOnceItHoldsStill) {
  const std::string reply = Reply(30, 32);
  for (int i = 0; i < 4; ++i) {
    DeviceSendsAfter(0.2 * i, reply.substr(8 * i, 8));
  }
  const CollectedReply collected = Collect();
  EXPECT_EQ(collected.bytes, reply);
  // The last part came at 0.6 s; the first steady sample after it ends.
  EXPECT_GT(took_, 0.9);
  EXPECT_LT(took_, 1.3);
}

TEST_F(LinkTest, BytesThatKeepComingAreTakenAtTheDeadline) {
  fake_.events.set_tick(0.001);
  std::function<void()> trickle = [&] {
    DeviceSends(Bytes({1}));
    fake_.events.After(0.1, trickle);
  };
  fake_.events.After(0, trickle);
  DeviceSends(Bytes({2}));
  const CollectedReply reply = Collect();
  EXPECT_GE(took_, 6.0);
  EXPECT_LT(took_, 6.35);
  // Everything that had come by then, in order, and nothing left behind.
  EXPECT_GT(reply.bytes.size(), 55u);
  EXPECT_EQ(reply.bytes[0], 2);  // a long reply, passed whole
  EXPECT_EQ(line().received, "");
}

TEST_F(LinkTest, EmptyFrameAndVanishedBytes) {
  DeviceSends(Bytes({0}));
  EXPECT_EQ(Collect().kind, Kind::kEmptyFrame);

  DeviceSends(Bytes({5, 0}));
  fake_.events.After(0.1, [this] { line().received.clear(); });
  const CollectedReply nothing = Collect();
  EXPECT_EQ(nothing.kind, Kind::kNothing);
  EXPECT_EQ(nothing.bytes, "");
}

}  // namespace
}  // namespace zindo

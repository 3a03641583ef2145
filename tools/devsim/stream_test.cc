// The simulator's handling of the byte stream without a line: framing what
// arrives, planning and timing what goes out, and the log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/test_bytes.h"
#include "tools/devsim/framer.h"
#include "tools/devsim/log.h"
#include "tools/devsim/replies.h"
#include "tools/devsim/rules.h"

namespace zindo::tools {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;

// Instants are seconds on the monotonic clock; the tests start well past 0.
constexpr double kStart = 1000;
// The monotonic clock reads to the nanosecond: closer than that is the same.
constexpr double kNanosecond = 1e-9;

// `ms` milliseconds after kStart.
double At(double ms) { return kStart + ms / 1000; }

auto Message(const std::string& bytes, bool complete = true) {
  return ::testing::AllOf(Field(&ReceivedMessage::bytes, bytes),
                          Field(&ReceivedMessage::complete, complete));
}

TEST(MessageFramerTest, JoinsAMessageSplitAcrossReads) {
  MessageFramer framer;
  EXPECT_TRUE(framer.Feed(Bytes({3, 0}), kStart).empty());
  EXPECT_TRUE(framer.Feed(Bytes({9, 7}), At(150)).empty());
  // 150 ms after the last byte, not after the first: still in time.
  EXPECT_THAT(framer.Feed(Bytes({8}), At(300)),
              ElementsAre(Message(Bytes({3, 0, 9, 7, 8}))));
  EXPECT_FALSE(framer.Deadline().has_value());
}

TEST(MessageFramerTest, SplitsTwoMessagesInOneRead) {
  MessageFramer framer;
  EXPECT_THAT(
      framer.Feed(Bytes({1, 0, 5, 2, 0, 6, 7, 4}), kStart),
      ElementsAre(Message(Bytes({1, 0, 5})), Message(Bytes({2, 0, 6, 7}))));
  // The byte after them starts the next message.
  EXPECT_EQ(framer.Deadline(), At(200));
}

TEST(MessageFramerTest, GivesUpOnAnIncompleteMessageAfter200ms) {
  MessageFramer framer;
  framer.Feed(Bytes({5, 0, 1}), kStart);
  EXPECT_FALSE(framer.Expire(At(199)).has_value());
  EXPECT_THAT(framer.Expire(At(200)),
              ::testing::Optional(Message(Bytes({5, 0, 1}), false)));
  EXPECT_FALSE(framer.Deadline().has_value());
  // What comes next frames afresh.
  EXPECT_THAT(framer.Feed(Bytes({0, 0}), At(500)),
              ElementsAre(Message(Bytes({0, 0}))));
}

TEST(MessageFramerTest, StaleBytesComeOutFirstWhenNewOnesArrive) {
  MessageFramer framer;
  framer.Feed(Bytes({5, 0, 1}), kStart);
  EXPECT_THAT(
      framer.Feed(Bytes({1, 0, 4}), At(900)),
      ElementsAre(Message(Bytes({5, 0, 1}), false), Message(Bytes({1, 0, 4}))));
}

TEST(MessageFramerTest, AnEmptyFrameIsTwoBytesLong) {
  MessageFramer framer;
  EXPECT_THAT(framer.Feed(Bytes({0, 0, 0}), kStart),
              ElementsAre(Message(Bytes({0, 0}))));
  // A lone 0 announces a second byte; it waits for it, then gives up.
  EXPECT_THAT(framer.Expire(At(200)),
              ::testing::Optional(Message(Bytes({0}), false)));
}

std::vector<std::string> ChunkBytes(const std::vector<ReplyChunk>& chunks) {
  std::vector<std::string> bytes;
  for (const ReplyChunk& chunk : chunks) bytes.push_back(chunk.bytes);
  return bytes;
}

TEST(PlanReplyTest, CutsTheReplyIntoTimedChunks) {
  const auto chunks = PlanReply(
      ParseRule("any: reply 5,0,1,2,3,4,5 after 40 chunks 3 gap 300"), "x");
  EXPECT_THAT(ChunkBytes(chunks),
              ElementsAre(Bytes({5, 0, 1}), Bytes({2, 3, 4}), Bytes({5})));
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].delay_seconds, 0.04);
  EXPECT_EQ(chunks[1].delay_seconds, 0.3);
  EXPECT_EQ(chunks[2].delay_seconds, 0.3);
  EXPECT_EQ(chunks[2].number, 3);
  EXPECT_EQ(chunks[0].count, 3);
}

TEST(PlanReplyTest, TruncatesBeforeCutting) {
  const std::string request = Bytes({3, 0, 9, 7, 8});
  EXPECT_THAT(ChunkBytes(PlanReply(ParseRule("any: echo truncate 3"), request)),
              ElementsAre(Bytes({3, 0, 9})));
  EXPECT_THAT(ChunkBytes(PlanReply(
                  ParseRule("any: echo truncate 3 chunks 2 gap 1"), request)),
              ElementsAre(Bytes({3, 0}), Bytes({9})));
  // Truncating to more than there is sends it all.
  EXPECT_THAT(ChunkBytes(PlanReply(ParseRule("any: echo truncate 9"), request)),
              ElementsAre(request));
}

TEST(PlanReplyTest, EchoEmptyAndSilent) {
  const std::string request = Bytes({3, 0, 9, 7, 8});
  EXPECT_THAT(ChunkBytes(PlanReply(ParseRule("any: echo"), request)),
              ElementsAre(request));
  EXPECT_THAT(ChunkBytes(PlanReply(ParseRule("any: empty"), request)),
              ElementsAre(Bytes({0})));
  EXPECT_TRUE(PlanReply(ParseRule("any: silent"), request).empty());
  EXPECT_TRUE(PlanReply(ParseRule("any: echo truncate 0"), request).empty());
}

TEST(ReplySchedulerTest, MeasuresEachGapFromTheActualWrite) {
  ReplyScheduler scheduler;
  scheduler.Add(PlanReply(ParseRule("any: reply 1,0,7 after 50 chunks 2 gap "
                                    "100"),
                          ""),
                kStart);
  EXPECT_EQ(scheduler.NextDue(), At(50));
  EXPECT_FALSE(scheduler.TakeDue(At(49)).has_value());
  // Written 7 ms late: the gap still runs its full 100 ms from then.
  const double written = At(57);
  const auto first = scheduler.TakeDue(written);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->chunk.bytes, Bytes({1, 0}));
  EXPECT_NEAR(first->waited_seconds, 0.057, kNanosecond);
  EXPECT_EQ(scheduler.NextDue(), written + 0.1);
  EXPECT_FALSE(scheduler.TakeDue(At(156)).has_value());
  const auto second = scheduler.TakeDue(written + 0.1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->chunk.bytes, Bytes({7}));
  EXPECT_FALSE(scheduler.NextDue().has_value());
}

TEST(ReplySchedulerTest, AReplyQueuesBehindOneStillGoingOut) {
  ReplyScheduler scheduler;
  EXPECT_FALSE(scheduler.Add(
      PlanReply(ParseRule("any: reply 1,2 chunks 1 gap 300"), ""), kStart));
  ASSERT_TRUE(scheduler.TakeDue(kStart));
  // Arrives while the second chunk waits; its `after` counts from that
  // chunk, not from its own arrival.
  EXPECT_TRUE(
      scheduler.Add(PlanReply(ParseRule("any: echo after 20"), "9"), At(100)));
  ASSERT_TRUE(scheduler.TakeDue(At(300)));
  EXPECT_EQ(scheduler.NextDue(), At(300) + 0.02);
  EXPECT_FALSE(scheduler.Add({}, kStart));  // nothing to send queues nothing
  EXPECT_EQ(scheduler.DropAll(), 1u);
  EXPECT_FALSE(scheduler.NextDue().has_value());
  // With nothing left to wait behind, a new reply counts from its message.
  EXPECT_FALSE(
      scheduler.Add(PlanReply(ParseRule("any: echo after 5"), "9"), At(400)));
  EXPECT_EQ(scheduler.NextDue(), At(400) + 0.005);
}

TEST(EventLogTest, FallsBackToStandardErrorOnceWhenTheFileFails) {
  ::testing::internal::CaptureStderr();
  {
    EventLog log("/dev/full");  // opens, but every write fails
    log.Write("first line");
    log.Write("second line");
  }
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(errors, HasSubstr("cannot write the log to /dev/full"));
  EXPECT_EQ(errors.find("cannot write"), errors.rfind("cannot write"));
  EXPECT_THAT(errors, HasSubstr("  first line\n"));
  EXPECT_THAT(errors, HasSubstr("  second line\n"));
}

}  // namespace
}  // namespace zindo::tools

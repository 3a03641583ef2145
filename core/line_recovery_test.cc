#include "core/line_recovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "link/device_line_test.h"

namespace zindo {
namespace {

using line_test::Reply;

class LineRecoveryTest : public line_test::DeviceLineTest {
 protected:
  RecoveryOutcome Recover() {
    start_ = fake_.clock.now();
    first_entry_ = fake_.journal.entries().size();
    return RecoverLine(port_, waits_, fake_.files, packets_, fake_.trace);
  }
  // When, after the cycle began, the `nth` (from 0) journal entry since then
  // that starts with `prefix` was recorded.
  double When(const std::string& prefix, int nth = 0) const {
    int seen = 0;
    const auto& entries = fake_.journal.entries();
    for (std::size_t i = first_entry_; i < entries.size(); ++i) {
      if (entries[i].starts_with(prefix) && seen++ == nth) {
        return fake_.journal.TimeOf(static_cast<int>(i)) - start_;
      }
    }
    ADD_FAILURE() << "no entry " << nth << " for " << prefix;
    return -1;
  }
  // The device answers the probe `delay` seconds after each time it is sent.
  void AnswerProbesAfter(double delay, const std::string& answer) {
    line().on_write = [this, delay, answer](const std::string& bytes) {
      if (bytes == packets_.probe) DeviceSendsAfter(delay, answer);
    };
  }

  double start_ = 0;
  std::size_t first_entry_ = 0;
};

TEST_F(LineRecoveryTest, EachCycleReopensReportsAndProbesOnTime) {
  fake_.events.After(15.0, [this] {
    fake_.files.Put("ZINDOK1.TXT", Bytes({1, 5, 6}));
  });
  EXPECT_EQ(Recover(), RecoveryOutcome::kRequestPending);

  // Two silent cycles, then the third finds the request at its end.
  EXPECT_EQ(fake_.journal.Count("close COM1"), 3);
  EXPECT_EQ(fake_.journal.Count("output"), 3);
  EXPECT_NEAR(fake_.clock.now() - start_, When("close COM1", 2) + 6.0, 0.1);
  for (int cycle = 0; cycle < 3; ++cycle) {
    const double began = When("close COM1", cycle);
    EXPECT_NEAR(began, 6.0 * cycle, 0.1 * (cycle + 1));
    EXPECT_NEAR(When("open COM1", cycle) - began, 2.0, 0.02);
    EXPECT_NEAR(When("write zindoK2.txt", cycle) - began, 4.0, 0.04);
    EXPECT_NEAR(When("output", cycle) - When("write zindoK2.txt", cycle), 0,
                0.001);
  }
  EXPECT_EQ(fake_.files.Contents("zindoK2.txt"),
            "/0,17,0,129,63,0,0,0,0,0,0,0,255,255,0,0,1,184,34,10\r\n");
  EXPECT_EQ(line().written, packets_.probe + packets_.probe + packets_.probe);
  // The port comes back as it was: same number and settings, RTS raised.
  EXPECT_EQ(fake_.journal.Count("open COM1 19200,N,8,1"), 1 + 3);
  EXPECT_TRUE(line().open);
  EXPECT_TRUE(line().rts);
  // The request is left for the request step.
  EXPECT_TRUE(fake_.files.Exists("ZINDOK1.TXT"));
}

TEST_F(LineRecoveryTest, AnswerWithinTwoSecondsEndsTheCycle) {
  AnswerProbesAfter(1.5, Reply(17, 19));
  EXPECT_EQ(Recover(), RecoveryOutcome::kBytesWaiting);
  EXPECT_EQ(fake_.journal.Count("close COM1"), 1);
  // Looked for right as the 2 s wait ends, and left for collection.
  EXPECT_NEAR(fake_.clock.now() - start_, 6.0, 0.1);
  EXPECT_EQ(line().received, Reply(17, 19));
}

TEST_F(LineRecoveryTest, LateAnswerIsOnlySeenAtTheNextCyclesLook) {
  AnswerProbesAfter(2.5, Reply(17, 19));
  EXPECT_EQ(Recover(), RecoveryOutcome::kBytesWaiting);
  EXPECT_EQ(fake_.journal.Count("close COM1"), 2);
  EXPECT_NEAR(fake_.clock.now() - start_, 12.0, 0.2);
}

TEST_F(LineRecoveryTest, LowerCaseRequestDoesNotEndTheCycle) {
  fake_.files.Put("zindok1.txt", Bytes({1, 5, 6}));
  int probes = 0;
  line().on_write = [&](const std::string&) {
    if (++probes == 2) DeviceSends(Reply(17, 19));
  };
  EXPECT_EQ(Recover(), RecoveryOutcome::kBytesWaiting);
  EXPECT_EQ(probes, 2);
}

TEST_F(LineRecoveryTest, PortThatCannotBeReopenedFails) {
  fake_.ports.FailOpen(1, "COM1: Device or resource busy");
  EXPECT_THROW(Recover(), Error);
  EXPECT_FALSE(fake_.files.Exists("zindoK2.txt"));
}

}  // namespace
}  // namespace zindo

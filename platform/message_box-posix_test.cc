#include "platform/message_box-posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/testing-posix.h"

namespace zindo {
namespace {

using posix_test::ReadBytes;
using ::testing::HasSubstr;

constexpr auto kPatience = std::chrono::seconds(10);

// Standard error as the message box sees it: a pipe the test reads.
class PosixMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    output_read_ = UniqueFd(fds[0]);
    output_ = UniqueFd(fds[1]);
  }

  UniqueFd output_read_;
  UniqueFd output_;
  posix_test::PseudoTerminal terminal_;
};

TEST(MessageLineTest, PutsTitleAndTextOnOneLine) {
  EXPECT_EQ(MessageLine("zindo-relay", "Port busy"), "zindo-relay: Port busy");
  EXPECT_EQ(MessageLine("T", "first\nsecond\r\nthird"),
            "T: first second  third");
  EXPECT_EQ(MessageLine("", "only text"), "only text");
}

TEST_F(PosixMessageBoxTest, WithoutATerminalWritesTheLineAndGoesOn) {
  // Input that is no terminal: the output pipe itself, so that a box that
  // read a line anyway would swallow its own message.
  UniqueFd no_input(::dup(output_read_.get()));
  PosixMessageBox box(no_input.get(), output_.get());

  box.Show("zindo-relay", "Cannot open COM1");
  output_.Close();

  EXPECT_EQ(ReadBytes(output_read_.get(), 1024, kPatience),
            "zindo-relay: Cannot open COM1\n");
}

TEST_F(PosixMessageBoxTest, OnATerminalWaitsForEnter) {
  PosixMessageBox box(terminal_.slave(), output_.get());
  std::atomic<bool> returned = false;

  std::thread showing([&] {
    box.Show("zindo-relay", "Line lost");
    returned = true;
  });
  std::string shown;
  ASSERT_TRUE(posix_test::WaitUntil(
      [&] {
        shown +=
            ReadBytes(output_read_.get(), 1, std::chrono::milliseconds(10));
        return shown.find("Press Enter") != std::string::npos;
      },
      kPatience));
  EXPECT_THAT(shown, HasSubstr("zindo-relay: Line lost\n"));
  EXPECT_FALSE(returned);

  ASSERT_EQ(::write(terminal_.master(), "\n", 1), 1);
  showing.join();
}

TEST_F(PosixMessageBoxTest, ClosedTerminalDoesNotHoldItUp) {
  PosixMessageBox box(terminal_.slave(), output_.get());
  terminal_.CloseMaster();

  box.Show("zindo-relay", "Nobody there");
}

}  // namespace
}  // namespace zindo

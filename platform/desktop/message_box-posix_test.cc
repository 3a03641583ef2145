#include "platform/desktop/message_box-posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/desktop/desktop_dialog-posix.h"
#include "platform/system/stop_request.h"
#include "platform/system/stop_signals-posix.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::ReadBytes;
using posix_test::ReadNativeFile;
using posix_test::TemporaryDirectory;
using posix_test::WriteNativeFile;
using ::testing::HasSubstr;

constexpr auto kPatience = std::chrono::seconds(10);

// Standard error as the message box sees it: a pipe the test reads.
class PosixMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenOutput(); }

  void OpenOutput() {
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

// A terminal whose other end is gone can never send Enter: the box either
// sees no terminal any more (Linux answers EIO once the master is closed)
// or ends the wait it began at the hang-up. Either way it returns.
TEST_F(PosixMessageBoxTest, ClosedTerminalDoesNotHoldItUp) {
  PosixMessageBox box(terminal_.slave(), output_.get());
  terminal_.CloseMaster();

  box.Show("zindo-relay", "Nobody there");
  output_.Close();

  const std::string line = "zindo-relay: Nobody there\n";
  EXPECT_THAT(ReadBytes(output_read_.get(), 1024, kPatience),
              ::testing::AnyOf(line, line + "Press Enter to continue.\n"));
}

// ---------------------------------------------------------------------------
// Desktop dialogs.

// RIGHT-TO-LEFT MARK, LEFT-TO-RIGHT EMBEDDING ... POP DIRECTIONAL FORMATTING.
const std::string kRlm = "\u200F";
const std::string kLre = "\u202A";
const std::string kPdf = "\u202C";
const std::string kHebrew = "com1  ברירת המחדל כעת היא";

TEST(RightToLeftParagraphsTest, WrapsEachLineOnItsOwn) {
  // Each line is a paragraph of its own, where an embedding ends anyway.
  EXPECT_EQ(RightToLeftParagraphs("one\ntwo\r\nthree"),
            kRlm + kLre + "one" + kPdf + "\n" + kRlm + kLre + "two" + kPdf +
                "\r\n" + kRlm + kLre + "three" + kPdf);
}

// zenity is preferred wherever there is a display; no display or no dialog
// program means the terminal.
TEST(DialogCommandTest, ChoosesByDisplayThenByProgram) {
  TemporaryDirectory root;
  const std::string first = root / "first", second = root / "second";
  posix_test::MakeDirectory(first);
  posix_test::MakeDirectory(second);
  WriteNativeFile(first + "/kdialog", "#!/bin/sh\n", 0755);
  WriteNativeFile(second + "/zenity", "#!/bin/sh\n", 0755);
  const std::string text = kRlm + kLre + kHebrew + kPdf;
  const std::vector<std::string> zenity_box = {
      second + "/zenity",    "--info",        "--no-markup", "--no-wrap",
      "--title=zindo-relay", "--text=" + text};
  const std::string both = first + ":" + second;
  const struct {
    DesktopEnvironment desktop;
    std::vector<std::string> command;
  } cases[] = {
      {{"", "", both}, {}},
      {{":0", "", both}, zenity_box},  // even with kdialog first on the PATH
      {{"", "wayland-0", both}, zenity_box},
      {{"", "wayland-0", first},
       {first + "/kdialog", "--title", "zindo-relay", "--msgbox", text}},
      {{":0", "", root / "none"}, {}},
      {{":0", "", ""}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DialogCommand(c.desktop, "zindo-relay", kHebrew), c.command)
        << c.desktop.display << "|" << c.desktop.wayland_display << "|"
        << c.desktop.path;
  }
}

TEST(RunDialogTest, ProgramThatCannotStartIsAnErrorNamingIt) {
  try {
    RunDialog({"/nonexistent/zenity", "--info"}, {":0", "", ""});
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_THAT(error.what(), HasSubstr("start /nonexistent/zenity"));
  }
}

// A fake zenity on the PATH of a box with a display; it records what it was
// given in record.txt.
class DesktopMessageBoxTest : public PosixMessageBoxTest {
 protected:
  void InstallZenity(const std::string& body) {
    WriteNativeFile(
        directory_ / "zenity",
        "#!/bin/sh\nrecord=" + directory_ / "record.txt" + "\n" + body, 0755);
  }

  DesktopEnvironment Desktop() const { return {":42", "", directory_.path()}; }

  std::string Output() {
    output_.Close();
    return ReadBytes(output_read_.get(), 4096, kPatience);
  }

  TemporaryDirectory directory_;
};

TEST_F(DesktopMessageBoxTest, WritesTheLineThenWaitsForTheDialogToEnd) {
  // Records only after a pause: a box that did not wait finds no record.
  InstallZenity(R"(sleep 0.3
{ printf '%s\n' "$@"; echo "DISPLAY=$DISPLAY ZENITY_ESC=$ZENITY_ESC"
  readlink /proc/self/fd/0 /proc/self/fd/2; } > "$record.part"
mv "$record.part" "$record"
)");
  // A closed terminal: a box that also asked for Enter would say so at once.
  terminal_.CloseMaster();
  PosixMessageBox box(terminal_.slave(), output_.get(), Desktop());
  const double start = MonotonicNow();

  box.Show("zindo-relay", kHebrew);

  EXPECT_GE(posix_test::SecondsSince(start), 0.3);
  ASSERT_TRUE(std::filesystem::exists(directory_ / "record.txt"));
  EXPECT_EQ(ReadNativeFile(directory_ / "record.txt"),
            "--info\n--no-markup\n--no-wrap\n--title=zindo-relay\n--text=" +
                kRlm + kLre + kHebrew + kPdf +
                "\nDISPLAY=:42 ZENITY_ESC=0\n/dev/null\n/dev/null\n");
  EXPECT_EQ(Output(), "zindo-relay: " + kHebrew + "\n");
}

TEST_F(DesktopMessageBoxTest, FailedDialogFallsBackToTheTerminal) {
  const struct {
    const char* body;
    const char* reason;
  } cases[] = {
      {"echo 'cannot open display' >&2\nexit 5\n", "exit status 5"},
      {"kill -TERM $$\n", "ended by signal 15"},
  };
  for (const auto& c : cases) {
    OpenOutput();
    InstallZenity(c.body);
    PosixMessageBox box(terminal_.slave(), output_.get(), Desktop());
    // Enter already typed, so the fallback's wait ends at once.
    ASSERT_EQ(::write(terminal_.master(), "\n", 1), 1);

    box.Show("zindo-relay", "Line lost");

    EXPECT_EQ(Output(), "zindo-relay: Line lost\nzindo-relay: no dialog: " +
                            directory_ / "zenity" + ": " + c.reason +
                            "\nPress Enter to continue.\n");
  }
}

// A stop signal closes whatever the box waits for, the dialog or the
// terminal, and Show throws instead of returning as if dismissed.
TEST_F(DesktopMessageBoxTest, StopSignalClosesTheDialogOrEndsTheWaitForEnter) {
  InstallZenity(
      "echo $$ > \"$record.part\"; mv \"$record.part\" \"$record\"\n"
      "exec sleep 600\n");
  for (const bool with_dialog : {true, false}) {
    SCOPED_TRACE(with_dialog ? "dialog" : "terminal");
    StopSignals stop;
    DesktopEnvironment desktop = with_dialog ? Desktop() : DesktopEnvironment{};
    PosixMessageBox box(terminal_.slave(), output_.get(), desktop, &stop);
    std::thread signaller([&] {
      // Once the dialog runs, or once the box has asked for Enter.
      std::string shown;
      posix_test::WaitUntil(
          [&] {
            shown += ReadBytes(output_read_.get(), 4096,
                               std::chrono::milliseconds(10));
            return with_dialog
                       ? std::filesystem::exists(directory_ / "record.txt")
                       : shown.find("Press Enter") != std::string::npos;
          },
          kPatience);
      ::kill(::getpid(), SIGTERM);
    });
    EXPECT_THROW(box.Show("zindo-relay", "Line lost"), StopRequested);
    signaller.join();
    if (with_dialog) {
      const pid_t dialog = std::stoi(ReadNativeFile(directory_ / "record.txt"));
      EXPECT_NE(::kill(dialog, 0), 0) << "the dialog is still there";
    }
  }
}

}  // namespace
}  // namespace zindo

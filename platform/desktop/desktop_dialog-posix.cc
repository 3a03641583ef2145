#include "platform/desktop/desktop_dialog-posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <string_view>

#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/programs/program_arguments-posix.h"
#include "platform/programs/spawn-posix.h"

namespace zindo {
namespace {

// RIGHT-TO-LEFT MARK then LEFT-TO-RIGHT EMBEDDING; POP DIRECTIONAL
// FORMATTING ends the embedding.
constexpr char kOpenParagraph[] = "\u200F\u202A";
constexpr char kCloseParagraph[] = "\u202C";

// Variables the dialog gets from the box rather than from the relay.
constexpr std::string_view kReplacedVariables[] = {
    "DISPLAY=", "WAYLAND_DISPLAY=", "ZENITY_OK=", "ZENITY_ESC="};

bool IsReplaced(std::string_view entry) {
  for (std::string_view prefix : kReplacedVariables) {
    if (entry.starts_with(prefix)) return true;
  }
  return false;
}

// The relay's environment with the box's display. zenity reports a window
// closed without OK (Escape, the close button) as ZENITY_ESC, by default 1,
// which is also its status when it cannot open the display; making the
// dismissal 0 tells the two apart.
std::vector<std::string> DialogEnvironment(const DesktopEnvironment& desktop) {
  std::vector<std::string> environment;
  for (std::string& entry : CurrentEnvironment()) {
    if (!IsReplaced(entry)) environment.push_back(std::move(entry));
  }
  if (!desktop.display.empty()) {
    environment.push_back("DISPLAY=" + desktop.display);
  }
  if (!desktop.wayland_display.empty()) {
    environment.push_back("WAYLAND_DISPLAY=" + desktop.wayland_display);
  }
  environment.insert(environment.end(), {"ZENITY_OK=0", "ZENITY_ESC=0"});
  return environment;
}

// Waits for `child` to end or a stop signal to come, whichever is first;
// on a stop the dialog is closed and reaped before StopRequested is thrown.
// Without a process descriptor (a kernel before 5.3) only the end counts.
void WaitForExitOrStop(pid_t child, const StopSignals& stop) {
  UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  while (process.valid()) {
    pollfd watched[2] = {{process.get(), POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0 && errno != EINTR) return;
    if (stop.requested()) {
      ::kill(child, SIGTERM);
      while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
      stop.ThrowIfRequested();
    }
    if (watched[1].revents != 0) stop.Drain();
    if (watched[0].revents != 0) return;
  }
}

int WaitForExit(pid_t child, const std::string& program) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw SystemError("wait for " + program, errno);
  }
  return status;
}

std::string DescribeStatus(int status) {
  if (WIFSIGNALED(status)) {
    return "ended by signal " + std::to_string(WTERMSIG(status));
  }
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

std::string RightToLeftParagraphs(const std::string& text) {
  std::string laid_out = kOpenParagraph;
  bool open = true;
  for (char c : text) {
    const bool line_break = c == '\n' || c == '\r';
    if (line_break && open) laid_out += kCloseParagraph;
    if (!line_break && !open) laid_out += kOpenParagraph;
    open = !line_break;
    laid_out += c;
  }
  if (open) laid_out += kCloseParagraph;
  return laid_out;
}

std::vector<std::string> DialogCommand(const DesktopEnvironment& desktop,
                                       const std::string& title,
                                       const std::string& text) {
  if (!desktop.HasDisplay()) return {};
  const std::string shown = RightToLeftParagraphs(text);
  // --no-markup: the text is shown as it is, never read as Pango markup.
  // --no-wrap: a wrapped line would split the embedding across lines and
  // scramble the reading order; the relay's messages are one short line.
  if (std::string zenity = FindProgram("zenity", desktop.path);
      !zenity.empty()) {
    return {zenity,      "--info",           "--no-markup",
            "--no-wrap", "--title=" + title, "--text=" + shown};
  }
  if (std::string kdialog = FindProgram("kdialog", desktop.path);
      !kdialog.empty()) {
    return {kdialog, "--title", title, "--msgbox", shown};
  }
  return {};
}

void RunDialog(const std::vector<std::string>& command,
               const DesktopEnvironment& desktop, const StopSignals* stop) {
  const std::string& program = command.at(0);
  std::vector<std::string> arguments = command;
  // Standard streams on /dev/null: GTK's warnings would clutter the relay's
  // standard error.
  const pid_t child = Spawn({std::move(arguments), DialogEnvironment(desktop),
                             "", -1, /*detached=*/false, /*quiet=*/true});
  if (stop != nullptr) WaitForExitOrStop(child, *stop);
  const int status = WaitForExit(child, program);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error(program + ": " + DescribeStatus(status));
  }
}

}  // namespace zindo

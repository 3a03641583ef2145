#include "platform/desktop/message_box-posix.h"

#include <poll.h>

#include <cerrno>
#include <vector>

#include "base/error.h"
#include "platform/descriptor-posix.h"

namespace zindo {
namespace {

std::string OnOneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

std::string MessageLine(const std::string& title, const std::string& text) {
  if (title.empty()) return OnOneLine(text);
  return OnOneLine(title) + ": " + OnOneLine(text);
}

void PosixMessageBox::Show(const std::string& title, const std::string& text) {
  // Showing a message never fails: a closed output is no reason to stop.
  WriteAll(output_fd_, MessageLine(title, text) + "\n");
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  if (ShowDialog(title, text)) return;
  if (::isatty(input_fd_)) WaitForEnter();
}

bool PosixMessageBox::ShowDialog(const std::string& title,
                                 const std::string& text) {
  const std::vector<std::string> command = DialogCommand(desktop_, title, text);
  if (command.empty()) return false;
  try {
    RunDialog(command, desktop_, stop_);
    return true;
  } catch (const Error& error) {
    // The message is already on the line above; say why no dialog came.
    WriteAll(
        output_fd_,
        MessageLine(title, std::string("no dialog: ") + error.what()) + "\n");
    return false;
  }
}

// Polls the terminal and the stop signals together, so that a signal that
// comes just before the read still ends the wait.
void PosixMessageBox::WaitForEnter() {
  WriteAll(output_fd_, "Press Enter to continue.\n");
  char c = 0;
  for (;;) {
    pollfd watched[2] = {{input_fd_, POLLIN, 0}, {-1, POLLIN, 0}};
    if (stop_ != nullptr) watched[1].fd = stop_->fd();
    if (::poll(watched, 2, -1) < 0 && errno != EINTR) return;
    if (stop_ != nullptr) {
      stop_->ThrowIfRequested();
      if (watched[1].revents != 0) stop_->Drain();
    }
    if (watched[0].revents == 0) continue;
    ssize_t got = ::read(input_fd_, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') return;
  }
}

}  // namespace zindo

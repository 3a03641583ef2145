#include "platform/message_box-posix.h"

#include <cerrno>
#include <vector>

#include "platform/descriptor-posix.h"
#include "platform/error.h"

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
  if (ShowDialog(title, text)) return;
  if (::isatty(input_fd_)) WaitForEnter();
}

bool PosixMessageBox::ShowDialog(const std::string& title,
                                 const std::string& text) {
  const std::vector<std::string> command = DialogCommand(desktop_, title, text);
  if (command.empty()) return false;
  try {
    RunDialog(command, desktop_);
    return true;
  } catch (const Error& error) {
    // The message is already on the line above; say why no dialog came.
    WriteAll(
        output_fd_,
        MessageLine(title, std::string("no dialog: ") + error.what()) + "\n");
    return false;
  }
}

void PosixMessageBox::WaitForEnter() {
  WriteAll(output_fd_, "Press Enter to continue.\n");
  char c = 0;
  for (;;) {
    ssize_t got = ::read(input_fd_, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') return;
  }
}

}  // namespace zindo

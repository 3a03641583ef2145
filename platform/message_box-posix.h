#ifndef ZINDO_PLATFORM_MESSAGE_BOX_POSIX_H_
#define ZINDO_PLATFORM_MESSAGE_BOX_POSIX_H_

#include <unistd.h>

#include <string>

#include "platform/message_box.h"

namespace zindo {

// A message box on the terminal: the message goes to `output_fd` as one
// line; when `input_fd` is a terminal, someone is there to dismiss it, so
// it waits for Enter. Otherwise (a service, a pipe) it goes on at once.
class PosixMessageBox : public MessageBox {
 public:
  explicit PosixMessageBox(int input_fd = STDIN_FILENO,
                           int output_fd = STDERR_FILENO)
      : input_fd_(input_fd), output_fd_(output_fd) {}

  void Show(const std::string& title, const std::string& text) override;

 private:
  void WaitForEnter();

  int input_fd_;
  int output_fd_;
};

// "<title>: <text>" on one line: line breaks in either become spaces.
std::string MessageLine(const std::string& title, const std::string& text);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_MESSAGE_BOX_POSIX_H_

#ifndef ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_POSIX_H_
#define ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_POSIX_H_

#include <unistd.h>

#include <string>
#include <utility>

#include "platform/desktop/desktop_dialog-posix.h"
#include "platform/desktop/message_box.h"
#include "platform/system/stop_signals-posix.h"

namespace zindo {

// A message box on the desktop when there is one, else on the terminal.
// The message always goes to `output_fd` as one line first, so that it is
// kept in the log of a service. Then, when `desktop` has a display and a
// dialog program, a dialog shows it until dismissed. Without a dialog, or
// when the dialog fails, a terminal at `input_fd` means someone is there to
// dismiss it, so it waits for Enter; otherwise (a service, a pipe) it goes
// on at once.
//
// With `stop`, a stop signal closes the dialog, or ends the wait for Enter,
// and Show throws StopRequested.
class PosixMessageBox : public MessageBox {
 public:
  explicit PosixMessageBox(int input_fd = STDIN_FILENO,
                           int output_fd = STDERR_FILENO,
                           DesktopEnvironment desktop = {},
                           const StopSignals* stop = nullptr)
      : input_fd_(input_fd),
        output_fd_(output_fd),
        desktop_(std::move(desktop)),
        stop_(stop) {}

  void Show(const std::string& title, const std::string& text) override;

 private:
  // Whether a dialog showed the message and was dismissed.
  bool ShowDialog(const std::string& title, const std::string& text);
  void WaitForEnter();

  int input_fd_;
  int output_fd_;
  DesktopEnvironment desktop_;
  const StopSignals* stop_;
};

// "<title>: <text>" on one line: line breaks in either become spaces.
std::string MessageLine(const std::string& title, const std::string& text);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_POSIX_H_

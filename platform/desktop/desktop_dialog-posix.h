#ifndef ZINDO_PLATFORM_DESKTOP_DESKTOP_DIALOG_POSIX_H_
#define ZINDO_PLATFORM_DESKTOP_DESKTOP_DIALOG_POSIX_H_

#include <string>
#include <vector>

#include "platform/programs/spawn-posix.h"
#include "platform/system/stop_signals-posix.h"

namespace zindo {

// What decides whether a message can go to the desktop: the display
// variables and the PATH the dialog program is looked up in.
struct DesktopEnvironment {
  std::string display;          // DISPLAY, X11
  std::string wayland_display;  // WAYLAND_DISPLAY
  std::string path;             // PATH

  bool HasDisplay() const {
    return !display.empty() || !wayland_display.empty();
  }
};

// `text` laid out for a Hebrew reader: each line is a right-to-left paragraph
// (so it is aligned to the right) holding a left-to-right embedding. The
// relay's texts were written in the order a left-to-right box shows them:
// the default-port text starts with "com1" so that it ends up at the far left,
// which is where the Hebrew sentence ends. A right-to-left embedding would
// move it to the start of the sentence instead.
std::string RightToLeftParagraphs(const std::string& text);

// The command line of a modal dialog showing `text` under `title` with one OK
// button: zenity, else kdialog, as found on the PATH. Empty when there is no
// display or neither program is there.
std::vector<std::string> DialogCommand(const DesktopEnvironment& desktop,
                                       const std::string& title,
                                       const std::string& text);

// Runs `command` with standard input, output and error on /dev/null, the
// display variables of `desktop`, and default signal handling, and waits
// until it ends. Throws Error when it cannot be started or does not end with
// status 0 (zenity is told to report a dismissed window as 0 too). With
// `stop`, a stop signal ends the dialog (SIGTERM) and throws StopRequested
// once it has gone.
void RunDialog(const std::vector<std::string>& command,
               const DesktopEnvironment& desktop,
               const StopSignals* stop = nullptr);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_DESKTOP_DIALOG_POSIX_H_

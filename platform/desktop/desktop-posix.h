#ifndef ZINDO_PLATFORM_DESKTOP_DESKTOP_POSIX_H_
#define ZINDO_PLATFORM_DESKTOP_DESKTOP_POSIX_H_

#include <memory>
#include <string>

#include "platform/desktop/desktop.h"

namespace zindo {

// The X display named by `display` (DISPLAY), reached through libX11 loaded
// when it is first needed, so that the relay starts and runs on machines
// without X libraries. The connection stays open once made.
class PosixDesktop : public Desktop {
 public:
  // `wayland_display` is WAYLAND_DISPLAY: a display for programs, though not
  // one this class can send keys on.
  PosixDesktop(std::string display, std::string wayland_display);
  ~PosixDesktop() override;

  bool HasDisplay() override;
  // An X program reads every key as an event of one of its windows.
  bool SentKeysNeedWindowMessages() override { return false; }
  void SendControlFunctionKey(int process_id, int number) override;

 private:
  class Connection;

  std::string display_;
  std::string wayland_display_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_DESKTOP_POSIX_H_

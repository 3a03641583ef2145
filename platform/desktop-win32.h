#ifndef ZINDO_PLATFORM_DESKTOP_WIN32_H_
#define ZINDO_PLATFORM_DESKTOP_WIN32_H_

#include <string>

#include "platform/desktop.h"

namespace zindo {

// Keys are posted as window messages to the process's visible top-level
// window, so the focus stays where it is. SDL 1.2 reads such messages only
// with its windib driver: its directx driver takes the keyboard from
// DirectInput, and only while its window has the focus.
class Win32Desktop : public Desktop {
 public:
  // A program started from the user's session shows its window there.
  bool HasDisplay() override { return true; }
  std::string SdlVideoDriver() override { return "windib"; }
  void SendControlKey(int process_id, const std::string& key) override;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_WIN32_H_

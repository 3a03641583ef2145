#ifndef ZINDO_PLATFORM_DESKTOP_DESKTOP_WIN32_H_
#define ZINDO_PLATFORM_DESKTOP_DESKTOP_WIN32_H_

#include "platform/desktop/desktop.h"

namespace zindo {

// Keys are posted as window messages to the process's visible top-level
// window, so the focus stays where it is.
class Win32Desktop : public Desktop {
 public:
  // A program started from the user's session shows its window there.
  bool HasDisplay() override { return true; }
  // A program may take the keyboard from DirectInput or raw input instead,
  // and then never reads the posted messages.
  bool SentKeysNeedWindowMessages() override { return true; }
  void SendControlFunctionKey(int process_id, int number) override;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_DESKTOP_WIN32_H_

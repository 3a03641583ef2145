#ifndef ZINDO_PLATFORM_DESKTOP_H_
#define ZINDO_PLATFORM_DESKTOP_H_

#include <string>

namespace zindo {

// The windows of other programs on the user's desktop.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // Whether there is a display that programs started now will show their
  // windows on.
  virtual bool HasDisplay() = 0;

  // The SDL 1.2 video driver that a program started now must use for
  // SendControlKey to reach it, or "" when SDL's own choice will do.
  virtual std::string SdlVideoDriver() = 0;

  // Sends the key `key` (an X key name such as "F4"), held with Control, to
  // the top-level window of process `process_id` only, as key events
  // addressed to that window: the input focus stays where it is. Throws
  // Error saying why when it cannot (no display connection, the process has
  // no window, the event was refused).
  virtual void SendControlKey(int process_id, const std::string& key) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_H_

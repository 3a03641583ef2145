#ifndef ZINDO_PLATFORM_DESKTOP_DESKTOP_H_
#define ZINDO_PLATFORM_DESKTOP_DESKTOP_H_

namespace zindo {

// The windows of other programs on the user's desktop.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // Whether there is a display that programs started now will show their
  // windows on.
  virtual bool HasDisplay() = 0;

  // Whether a program started now must take its keyboard from its window's
  // messages for a key sent later (SendControlFunctionKey) to reach it.
  // Keys are sent to a window, not to the keyboard: on a desktop where a
  // program may read the keyboard device directly, one that does never
  // sees them.
  virtual bool SentKeysNeedWindowMessages() = 0;

  // Sends the function key F`number` (1 to 24), held with Control, to the
  // top-level window of process `process_id` only, as key events addressed
  // to that window: the input focus stays where it is. Throws Error saying
  // why when it cannot (no display connection, no such key on the display,
  // the process has no window, the event was refused, the connection was
  // lost).
  virtual void SendControlFunctionKey(int process_id, int number) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_DESKTOP_H_

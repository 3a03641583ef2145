#ifndef ZINDO_PLATFORM_EVENT_PUMP_WIN32_H_
#define ZINDO_PLATFORM_EVENT_PUMP_WIN32_H_

#include <memory>
#include <string>

#include "platform/event_pump.h"
#include "platform/stop_requests-win32.h"
#include "platform/watch_list-win32.h"
#include "platform/windows-win32.h"

namespace zindo {

// Processes the thread's window messages, then sleeps in
// MsgWaitForMultipleObjects until the time is up, a message arrives or,
// when asked to, the working directory changes (a change notification) or
// an open serial port in `watch_list` receives bytes (an overlapped
// WaitCommEvent). Where the directory cannot be watched it waits for the
// time only, and the relay notices changes in its next round.
//
// With `stop`, every yield throws StopRequested once the relay has been
// asked to end; the request's message cuts any wait short.
//
// While it exists the system timer runs at 1 ms: at the default 15.6 ms a
// short pause would overshoot by up to a tick.
class Win32EventPump : public EventPump {
 public:
  Win32EventPump(const std::string& working_directory,
                 std::shared_ptr<const WatchList> watch_list,
                 const Win32StopRequests* stop = nullptr);
  ~Win32EventPump() override;
  Win32EventPump(const Win32EventPump&) = delete;
  Win32EventPump& operator=(const Win32EventPump&) = delete;

  void Yield(double max_wait_seconds, WakeOn wake_on) override;

  // Whether changes in the working directory cut a yield short.
  bool watches_directory() const {
    return directory_changes_ != INVALID_HANDLE_VALUE;
  }

 private:
  void WaitForActivity(DWORD limit_ms);
  void RearmDirectoryWatch();

  HANDLE directory_changes_ = INVALID_HANDLE_VALUE;
  std::shared_ptr<const WatchList> watch_list_;
  bool fine_timer_ = false;
  const Win32StopRequests* stop_;
};

// Whole milliseconds of `seconds`, rounded down so that a wait never
// overshoots; at most a day.
DWORD WaitMilliseconds(double seconds);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_EVENT_PUMP_WIN32_H_

#ifndef ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_WIN32_H_
#define ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_WIN32_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/system/event_pump.h"
#include "platform/system/stop_requests-win32.h"
#include "platform/system/watch_list-win32.h"
#include "platform/windows-win32.h"

namespace zindo {

// Names created, deleted or renamed in one directory, reported by an
// overlapped ReadDirectoryChangesW that is kept pending between reports.
class DirectoryChanges {
 public:
  explicit DirectoryChanges(const std::string& directory);
  ~DirectoryChanges();
  DirectoryChanges(const DirectoryChanges&) = delete;
  DirectoryChanges& operator=(const DirectoryChanges&) = delete;

  // Signalled when a report has come; null when the directory is not
  // watched (it cannot be opened, or the watch has failed).
  HANDLE event() const { return pending_ ? event_.get() : nullptr; }

  // Takes the report that has come into `names` (in UTF-8) and asks for the
  // next. Returns false when the system lost names (too many changes at
  // once) or the watch failed: anything may have changed.
  bool TakeReport(std::vector<std::string>& names);

 private:
  void Arm();

  UniqueHandle directory_;
  UniqueHandle event_;
  OVERLAPPED overlapped_{};
  // The system writes into this until the read ends; 64 KiB is the most a
  // network share passes on.
  std::vector<DWORD> buffer_ = std::vector<DWORD>(16 * 1024);
  bool pending_ = false;
};

// Processes the thread's window messages, then sleeps in
// MsgWaitForMultipleObjects until the time is up, a message arrives or,
// when asked to, a name looked up in the working directory appears or goes
// (ReadDirectoryChangesW) or an open serial port in `watch_list` receives
// bytes (an overlapped WaitCommEvent). Other names do not wake it. Where
// the directory cannot be watched it wakes every 250 ms, so that the relay
// looks again.
//
// With `stop`, every yield throws StopRequested once the relay has been
// asked to end; the request's message cuts any wait short.
//
// While it exists the system timer runs at 1 ms: at the default 15.6 ms a
// short pause would overshoot by up to a tick.
class Win32EventPump : public EventPump {
 public:
  // The directory's polling period where it cannot be watched.
  static constexpr DWORD kDirectoryPollMs = 250;

  Win32EventPump(const std::string& working_directory,
                 std::shared_ptr<const WatchList> watch_list,
                 const Win32StopRequests* stop = nullptr);
  ~Win32EventPump() override;
  Win32EventPump(const Win32EventPump&) = delete;
  Win32EventPump& operator=(const Win32EventPump&) = delete;

  void Yield(double max_wait_seconds, WakeOn wake_on) override;

  // Whether changes in the working directory cut a yield short.
  bool watches_directory() const { return directory_.event() != nullptr; }

 private:
  void WaitForActivity(DWORD limit_ms);
  // Whether the report that has come names a name the relay looks up.
  bool ReportMatters();

  DirectoryChanges directory_;
  std::shared_ptr<const WatchList> watch_list_;
  std::vector<std::string> names_;
  bool fine_timer_ = false;
  const Win32StopRequests* stop_;
};

// Whole milliseconds of `seconds`, rounded down so that a wait never
// overshoots; at most a day.
DWORD WaitMilliseconds(double seconds);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_WIN32_H_

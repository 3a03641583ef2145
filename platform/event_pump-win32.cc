#include "platform/event_pump-win32.h"

#include <cmath>
#include <utility>
#include <vector>

#include "platform/unicode-win32.h"

namespace zindo {
namespace {

// Files created, deleted, renamed, written or resized.
constexpr DWORD kDirectoryChanges = FILE_NOTIFY_CHANGE_FILE_NAME |
                                    FILE_NOTIFY_CHANGE_LAST_WRITE |
                                    FILE_NOTIFY_CHANGE_SIZE;

constexpr double kLongestWaitSeconds = 86400.0;

void ProcessMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

bool IsSignalled(HANDLE handle) {
  return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

}  // namespace

DWORD WaitMilliseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<DWORD>(
      std::floor(std::fmin(seconds, kLongestWaitSeconds) * 1000.0));
}

Win32EventPump::Win32EventPump(const std::string& working_directory,
                               std::shared_ptr<const WatchList> watch_list,
                               const Win32StopRequests* stop)
    : directory_changes_(::FindFirstChangeNotificationW(
          ToUtf16(working_directory).c_str(), FALSE, kDirectoryChanges)),
      watch_list_(std::move(watch_list)),
      fine_timer_(::timeBeginPeriod(1) == TIMERR_NOERROR),
      stop_(stop) {}

Win32EventPump::~Win32EventPump() {
  if (watches_directory()) ::FindCloseChangeNotification(directory_changes_);
  if (fine_timer_) ::timeEndPeriod(1);
}

// Changes stay signalled until a yield that watches for them: a change that
// came after the relay last looked, even during a pause, must cut the next
// wait short. Once such a wait has returned the notification is rearmed, so
// that the following wait does not return at once for the same change.
void Win32EventPump::Yield(double max_wait_seconds, WakeOn wake_on) {
  ProcessMessages();
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  bool watching = wake_on == WakeOn::kActivity;
  DWORD limit_ms = WaitMilliseconds(max_wait_seconds);
  if (limit_ms > 0 && watching) {
    WaitForActivity(limit_ms);
  } else if (limit_ms > 0) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, limit_ms, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
  ProcessMessages();
  if (watching) RearmDirectoryWatch();
  if (stop_ != nullptr) stop_->ThrowIfRequested();
}

void Win32EventPump::WaitForActivity(DWORD limit_ms) {
  std::vector<HANDLE> watched;
  if (watches_directory()) watched.push_back(directory_changes_);
  for (ReceiveWatch* port : watch_list_->serial_ports()) {
    ReceiveWait wait = port->ArmReceiveWait();
    if (wait.bytes_waiting) return;
    // The wait takes one handle fewer than the maximum, for the messages.
    if (wait.event != nullptr && watched.size() + 1 < MAXIMUM_WAIT_OBJECTS) {
      watched.push_back(wait.event);
    }
  }
  ::MsgWaitForMultipleObjectsEx(static_cast<DWORD>(watched.size()),
                                watched.data(), limit_ms, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
}

void Win32EventPump::RearmDirectoryWatch() {
  if (watches_directory() && IsSignalled(directory_changes_)) {
    ::FindNextChangeNotification(directory_changes_);
  }
}

}  // namespace zindo

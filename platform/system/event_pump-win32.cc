#include "platform/system/event_pump-win32.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/system/clock.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// Names only: what a file holds does not change whether it is there.
constexpr DWORD kNameChanges =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;

constexpr double kLongestWaitSeconds = 86400.0;

void ProcessMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Each entry's name, in the order the system reported them.
void ReadNotifications(const char* at, DWORD size,
                       std::vector<std::string>& names) {
  const char* end = at + size;
  while (at + sizeof(FILE_NOTIFY_INFORMATION) <= end) {
    FILE_NOTIFY_INFORMATION entry;
    std::memcpy(&entry, at, offsetof(FILE_NOTIFY_INFORMATION, FileName));
    std::wstring name(entry.FileNameLength / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), at + offsetof(FILE_NOTIFY_INFORMATION, FileName),
                entry.FileNameLength);
    names.push_back(ToUtf8(name));
    if (entry.NextEntryOffset == 0) break;
    at += entry.NextEntryOffset;
  }
}

}  // namespace

DWORD WaitMilliseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<DWORD>(
      std::floor(std::fmin(seconds, kLongestWaitSeconds) * 1000.0));
}

DirectoryChanges::DirectoryChanges(const std::string& directory)
    : directory_(::CreateFileW(
          ToUtf16(directory).c_str(), FILE_LIST_DIRECTORY,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
          nullptr)),
      event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  Arm();
}

// The system writes into the buffer until the read ends, so a pending read
// is cancelled and waited for before the buffer goes.
DirectoryChanges::~DirectoryChanges() {
  if (!pending_) return;
  ::CancelIo(directory_.get());
  DWORD ignored = 0;
  ::GetOverlappedResult(directory_.get(), &overlapped_, &ignored, TRUE);
}

void DirectoryChanges::Arm() {
  pending_ = false;
  if (!directory_.valid() || !event_.valid()) return;
  ::ResetEvent(event_.get());
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = event_.get();
  pending_ = ::ReadDirectoryChangesW(
                 directory_.get(), buffer_.data(),
                 static_cast<DWORD>(buffer_.size() * sizeof(DWORD)), FALSE,
                 kNameChanges, nullptr, &overlapped_, nullptr) != FALSE;
}

bool DirectoryChanges::TakeReport(std::vector<std::string>& names) {
  if (!pending_) return false;
  DWORD size = 0;
  if (!::GetOverlappedResult(directory_.get(), &overlapped_, &size, FALSE)) {
    if (::GetLastError() == ERROR_IO_INCOMPLETE) return true;
    Arm();  // lost names (ERROR_NOTIFY_ENUM_DIR), or the watch failed
    return false;
  }
  // Nothing reported means the system's own buffer overflowed.
  const bool complete = size > 0;
  if (complete) {
    ReadNotifications(reinterpret_cast<const char*>(buffer_.data()), size,
                      names);
  }
  Arm();
  return complete;
}

Win32EventPump::Win32EventPump(const std::string& working_directory,
                               std::shared_ptr<const WatchList> watch_list,
                               const Win32StopRequests* stop)
    : directory_(working_directory),
      watch_list_(std::move(watch_list)),
      fine_timer_(::timeBeginPeriod(1) == TIMERR_NOERROR),
      stop_(stop) {}

Win32EventPump::~Win32EventPump() {
  if (fine_timer_) ::timeEndPeriod(1);
}

// Reports stay pending until a yield that watches for them: a change that
// came after the relay last looked, even during a pause, must cut the next
// wait short. A report is taken only by such a wait, so that the following
// wait does not return at once for the same change.
void Win32EventPump::Yield(double max_wait_seconds, WakeOn wake_on) {
  ProcessMessages();
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  DWORD limit_ms = WaitMilliseconds(max_wait_seconds);
  if (limit_ms > 0 && wake_on == WakeOn::kActivity) {
    WaitForActivity(limit_ms);
  } else if (limit_ms > 0) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, limit_ms, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
  ProcessMessages();
  if (stop_ != nullptr) stop_->ThrowIfRequested();
}

void Win32EventPump::WaitForActivity(DWORD limit_ms) {
  const double start = MonotonicNow();
  for (;;) {
    std::vector<HANDLE> watched;
    HANDLE directory = directory_.event();
    if (directory != nullptr) watched.push_back(directory);
    for (ReceiveWatch* port : watch_list_->serial_ports()) {
      ReceiveWait wait = port->ArmReceiveWait();
      if (wait.bytes_waiting) return;
      // The wait takes one handle fewer than the maximum, for the messages.
      if (wait.event != nullptr && watched.size() + 1 < MAXIMUM_WAIT_OBJECTS) {
        watched.push_back(wait.event);
      }
    }
    // Whole milliseconds gone, as the limit counts them.
    const auto elapsed_ms = static_cast<DWORD>(std::fmin(
        (MonotonicNow() - start) * 1000.0, static_cast<double>(limit_ms)));
    if (elapsed_ms >= limit_ms) return;
    DWORD wait_ms = limit_ms - elapsed_ms;
    if (directory == nullptr) wait_ms = std::min(wait_ms, kDirectoryPollMs);
    const DWORD woken = ::MsgWaitForMultipleObjectsEx(
        static_cast<DWORD>(watched.size()), watched.data(), wait_ms,
        QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (directory == nullptr || woken != WAIT_OBJECT_0 || ReportMatters()) {
      return;
    }
  }
}

bool Win32EventPump::ReportMatters() {
  names_.clear();
  if (!directory_.TakeReport(names_)) return true;
  return std::any_of(names_.begin(), names_.end(),
                     [this](const std::string& name) {
                       return watch_list_->WatchesName(name);
                     });
}

}  // namespace zindo

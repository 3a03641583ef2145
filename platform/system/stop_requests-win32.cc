#include "platform/system/stop_requests-win32.h"

#include "base/error.h"
#include "base/program_name.h"
#include "platform/system/stop_request.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// Posted by the console handler, which runs on a thread of its own, so that
// the relay's thread wakes and closes a message box it may be showing.
constexpr UINT kStopMessage = WM_APP + 1;

// How long a console that is closing, or a session that is ending, waits
// for the relay to finish its end before the system ends the process.
constexpr DWORD kEndingGraceMs = 5000;

std::atomic<Win32StopRequests*> instance{nullptr};

const char* SessionEndReason(LPARAM lparam) {
  return (lparam & ENDSESSION_LOGOFF) != 0 ? "log-off" : "shutdown";
}

const char* ConsoleEventReason(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "console closed";
    case CTRL_LOGOFF_EVENT:
      return "log-off";
    default:
      return "shutdown";
  }
}

}  // namespace

Win32StopRequests::Win32StopRequests() {
  Win32StopRequests* none = nullptr;
  if (!instance.compare_exchange_strong(none, this)) {
    throw Error("watch for log-off: already watched");
  }
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassW(&window_class);  // fails harmlessly when registered
  // Top-level, never shown: message-only windows get no session messages.
  window_ = ::CreateWindowExW(0, kWindowClass, ToUtf16(kProgramName).c_str(),
                              WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              window_class.hInstance, nullptr);
  // Without a desktop to put it on (Wine without a display) there is no
  // session to end either; the relay runs on without the window.
  ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

Win32StopRequests::~Win32StopRequests() {
  ::SetConsoleCtrlHandler(ConsoleHandler, FALSE);
  if (window_ != nullptr) ::DestroyWindow(window_);
  instance = nullptr;
}

void Win32StopRequests::ThrowIfRequested() const {
  if (const char* reason = reason_.load()) throw StopRequested{reason};
}

void Win32StopRequests::Request(const char* reason) {
  const char* none = nullptr;
  reason_.compare_exchange_strong(none, reason);
  if (window_ != nullptr) ::PostMessageW(window_, kStopMessage, 0, 0);
}

LRESULT CALLBACK Win32StopRequests::WindowProcedure(HWND window, UINT message,
                                                    WPARAM wparam,
                                                    LPARAM lparam) {
  Win32StopRequests* self = instance.load();
  switch (message) {
    case WM_QUERYENDSESSION:
      if (self != nullptr) self->Request(SessionEndReason(lparam));
      return TRUE;
    case WM_ENDSESSION:
      if (self != nullptr && wparam) self->Request(SessionEndReason(lparam));
      return 0;
    case WM_CLOSE:
      if (self != nullptr) self->Request("WM_CLOSE");
      return 0;
    case kStopMessage:
      // Ends the modal loop of a message box, if one is shown; the yields
      // pass over the WM_QUIT otherwise.
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// Runs on a thread the system starts. For Ctrl+C and Ctrl+Break returning is
// enough; a closing console or an ending session ends the process when this
// returns, so it waits while the relay's thread ends it.
BOOL WINAPI Win32StopRequests::ConsoleHandler(DWORD event) {
  Win32StopRequests* self = instance.load();
  if (self == nullptr) return FALSE;
  self->Request(ConsoleEventReason(event));
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    ::Sleep(kEndingGraceMs);
  }
  return TRUE;
}

}  // namespace zindo

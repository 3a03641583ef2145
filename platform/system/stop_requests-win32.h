#ifndef ZINDO_PLATFORM_SYSTEM_STOP_REQUESTS_WIN32_H_
#define ZINDO_PLATFORM_SYSTEM_STOP_REQUESTS_WIN32_H_

#include <atomic>

#include "platform/windows-win32.h"

namespace zindo {

// Turns the ways Windows asks a program to end into a request to end, as
// StopSignals does with signals on POSIX:
//  - log-off and shutdown: a hidden top-level window (the relay shows none
//    of its own) answers WM_QUERYENDSESSION and WM_ENDSESSION; WM_CLOSE,
//    which taskkill sends without /F, counts too;
//  - when the relay runs with a console: Ctrl+C, Ctrl+Break, and the
//    console closing, through a console control handler.
// The first request is the one reported. The relay ends as soon as it is
// asked, on WM_QUERYENDSESSION already: by the time the session ends it has
// closed its port and written its stopped status.
//
// The window belongs to the thread that constructs this, which must be the
// relay's: its yields dispatch the window's messages, and a request from the
// console's own thread wakes it with a posted message. A message box shown
// meanwhile is closed (its modal loop ends on WM_QUIT).
//
// One per process: the console handler has nowhere else to report.
class Win32StopRequests {
 public:
  // The class name of the hidden window, for programs that look for it.
  static constexpr wchar_t kWindowClass[] = L"zindo-relay session";

  Win32StopRequests();
  ~Win32StopRequests();
  Win32StopRequests(const Win32StopRequests&) = delete;
  Win32StopRequests& operator=(const Win32StopRequests&) = delete;

  // Throws StopRequested naming the first request, once one has come.
  void ThrowIfRequested() const;

  // Records a request: what the window procedure and the console handler
  // call. Safe from any thread.
  void Request(const char* reason);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message,
                                          WPARAM wparam, LPARAM lparam);
  static BOOL WINAPI ConsoleHandler(DWORD event);

  HWND window_ = nullptr;
  std::atomic<const char*> reason_{nullptr};
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_STOP_REQUESTS_WIN32_H_

#include "platform/desktop/report_window-win32.h"

#include "platform/windows-win32.h"

namespace zindo {
namespace {

// Sizes in pixels at 96 dots per inch, scaled to the screen's.
constexpr int kMargin = 8;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;
constexpr int kWindowWidth = 760;
constexpr int kWindowHeight = 480;

// An edit control breaks lines only at CR LF.
std::wstring WithWindowsLineEnds(const std::string& text) {
  std::wstring wide;
  for (wchar_t c : ToUtf16(text)) {
    if (c == L'\n') wide += L'\r';
    wide += c;
  }
  return wide;
}

int Scaled(HWND window, int pixels) {
  HDC screen = ::GetDC(window);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(window, screen);
  return ::MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

// The system's monospaced font at the size of the window's text: Consolas
// where Windows has it, else what the font mapper finds for a fixed pitch.
HFONT MonospacedFont(HWND window) {
  LOGFONTW font = {};
  font.lfHeight = -Scaled(window, 13);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  wcscpy(font.lfFaceName, L"Consolas");
  return ::CreateFontIndirectW(&font);
}

// The text fills the window above a row of buttons at its bottom right.
void Arrange(HWND window) {
  RECT client;
  ::GetClientRect(window, &client);
  const int margin = Scaled(window, kMargin);
  const int width = Scaled(window, kButtonWidth);
  const int height = Scaled(window, kButtonHeight);
  const int buttons_top = client.bottom - margin - height;
  ::MoveWindow(::GetDlgItem(window, kReportTextId), margin, margin,
               client.right - 2 * margin, buttons_top - 2 * margin, TRUE);
  ::MoveWindow(::GetDlgItem(window, kReportCloseId),
               client.right - margin - width, buttons_top, width, height, TRUE);
  ::MoveWindow(::GetDlgItem(window, kReportCopyId),
               client.right - 2 * (margin + width), buttons_top, width, height,
               TRUE);
}

HWND AddChild(HWND window, const wchar_t* kind, const wchar_t* text,
              DWORD style, int id) {
  return ::CreateWindowExW(
      0, kind, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0,
      window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      ::GetModuleHandleW(nullptr), nullptr);
}

void AddControls(HWND window, const std::wstring& text) {
  HWND field = AddChild(
      window, L"EDIT", text.c_str(),
      WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
      kReportTextId);
  HFONT font = MonospacedFont(window);
  ::SetPropW(window, L"font", font);
  ::SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  AddChild(window, L"BUTTON", L"Copy", BS_PUSHBUTTON, kReportCopyId);
  AddChild(window, L"BUTTON", L"Close", BS_DEFPUSHBUTTON, kReportCloseId);
  Arrange(window);
  ::SetFocus(::GetDlgItem(window, kReportCloseId));
}

// The whole text, through the field's own copy, which the clipboard keeps.
void CopyAll(HWND window) {
  HWND field = ::GetDlgItem(window, kReportTextId);
  ::SendMessageW(field, EM_SETSEL, 0, -1);
  ::SendMessageW(field, WM_COPY, 0, 0);
}

LRESULT CALLBACK ReportProcedure(HWND window, UINT message, WPARAM w,
                                 LPARAM l) {
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
      AddControls(window,
                  *static_cast<const std::wstring*>(create->lpCreateParams));
      return 0;
    }
    case WM_SIZE:
      Arrange(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(w) == kReportCopyId) CopyAll(window);
      // Enter, where no button has the focus, comes as IDOK.
      if (LOWORD(w) == kReportCloseId || LOWORD(w) == IDOK) {
        ::DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      ::DeleteObject(static_cast<HFONT>(::RemovePropW(window, L"font")));
      // Wakes the loop in ShowReportWindow, which may be waiting for a
      // posted message when the window went on a sent one.
      ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
      return 0;
  }
  return ::DefWindowProcW(window, message, w, l);
}

void RegisterReportClass() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ReportProcedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hCursor =
      ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hIcon = ::LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(1));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kReportWindowClass;
  ::RegisterClassExW(&window_class);  // fails harmlessly when registered
}

}  // namespace

std::string VerdictFirst(const std::string& report) {
  std::string body = report;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  const std::size_t last = body.rfind('\n');
  if (last == std::string::npos) return report;
  return body.substr(last + 1) + "\n\n" + body.substr(0, last + 1);
}

bool ShowReportWindow(const std::string& title, const std::string& text) {
  RegisterReportClass();
  std::wstring wide_text = WithWindowsLineEnds(VerdictFirst(text));
  HWND window = ::CreateWindowExW(
      0, kReportWindowClass, ToUtf16(title).c_str(), WS_OVERLAPPEDWINDOW,
      CW_USEDEFAULT, CW_USEDEFAULT, Scaled(nullptr, kWindowWidth),
      Scaled(nullptr, kWindowHeight), nullptr, nullptr,
      ::GetModuleHandleW(nullptr), &wide_text);
  if (window == nullptr) return false;
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::SetForegroundWindow(window);
  MSG message;
  while (::IsWindow(window) && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab between the controls, Esc closes, Enter presses Close.
    if (::IsDialogMessageW(window, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return true;
}

}  // namespace zindo

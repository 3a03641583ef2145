#ifndef ZINDO_PLATFORM_DESKTOP_REPORT_WINDOW_WIN32_H_
#define ZINDO_PLATFORM_DESKTOP_REPORT_WINDOW_WIN32_H_

#include <string>

namespace zindo {

// The class of the report window, by which a test finds it.
inline constexpr wchar_t kReportWindowClass[] = L"zindo-relay report";
// Its controls: the text, and the buttons that copy it and close the window.
inline constexpr int kReportTextId = 100;
inline constexpr int kReportCopyId = 101;
inline constexpr int kReportCloseId = 2;  // IDCANCEL: Esc closes it too

// Shows `text` (UTF-8, lines ending in "\n") under `title` in a window the
// user can read at leisure: a read-only, monospaced field in which any part
// can be selected and copied, a Copy button that puts the whole text on the
// clipboard, and Close. The text's last line is its verdict: the field
// opens on it (VerdictFirst), and wraps long lines rather than scroll
// sideways, so that every "what to do" can be read as it is. Returns once the
// user has closed it; false at once when there is no desktop to show it on. A
// message box would do for a line or two, but not for a report of many lines
// that the user may want to paste into a message to whoever helps them.
bool ShowReportWindow(const std::string& title, const std::string& text);

// `report` with its last line, the verdict, moved before the rest, with an
// empty line between them.
std::string VerdictFirst(const std::string& report);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_REPORT_WINDOW_WIN32_H_

#include "platform/desktop/message_box-win32.h"

#include "platform/windows-win32.h"

namespace zindo {

void Win32MessageBox::Show(const std::string& title, const std::string& text) {
  if (stop_ != nullptr) stop_->ThrowIfRequested();
  // A box that cannot be shown (no interactive desktop) returns 0 at once,
  // which is what the interface asks for where nobody can dismiss it.
  ::MessageBoxW(
      nullptr, ToUtf16(text).c_str(), ToUtf16(title).c_str(),
      MB_OK | MB_RTLREADING | MB_RIGHT | MB_SETFOREGROUND | MB_TASKMODAL);
  if (stop_ != nullptr) stop_->ThrowIfRequested();
}

}  // namespace zindo

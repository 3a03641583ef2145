#ifndef ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_WIN32_H_
#define ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_WIN32_H_

#include <string>

#include "platform/desktop/message_box.h"
#include "platform/system/stop_requests-win32.h"

namespace zindo {

// A system message box, laid out right to left since the relay's texts are
// Hebrew. It has no owner window, so it is made task-modal and brought to
// the front: otherwise it could open behind the companion's window and
// leave the relay waiting unseen. With `stop`, a request to end closes it
// and Show throws StopRequested.
class Win32MessageBox : public MessageBox {
 public:
  explicit Win32MessageBox(const Win32StopRequests* stop = nullptr)
      : stop_(stop) {}
  void Show(const std::string& title, const std::string& text) override;

 private:
  const Win32StopRequests* stop_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_WIN32_H_

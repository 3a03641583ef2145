#ifndef ZINDO_PLATFORM_DESKTOP_LOGGED_MESSAGE_BOX_H_
#define ZINDO_PLATFORM_DESKTOP_LOGGED_MESSAGE_BOX_H_

#include <string>

#include "platform/desktop/message_box.h"
#include "platform/system/failure_log.h"

namespace zindo {

// Shows every message through `shown`, after recording it in `log`.
class LoggedMessageBox : public MessageBox {
 public:
  LoggedMessageBox(MessageBox& shown, FailureLog& log)
      : shown_(shown), log_(log) {}
  void Show(const std::string& title, const std::string& text) override {
    ShowBecause(title, text, "");
  }

  // Shows the message as Show does, and keeps `why` beside it in the log:
  // what the user cannot see in the message itself.
  void ShowBecause(const std::string& title, const std::string& text,
                   const std::string& why) {
    log_.RecordMessage(text, why);
    shown_.Show(title, text);
  }

 private:
  MessageBox& shown_;
  FailureLog& log_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_LOGGED_MESSAGE_BOX_H_

#ifndef ZINDO_PLATFORM_FAKE_FAKE_DESKTOP_H_
#define ZINDO_PLATFORM_FAKE_FAKE_DESKTOP_H_

// The user's side of the screen: message boxes and the windows keys go to.

#include <string>
#include <vector>

#include "platform/desktop/desktop.h"
#include "platform/desktop/message_box.h"
#include "platform/fake/fake_journal.h"

namespace zindo {

class FakeMessageBox : public MessageBox {
 public:
  explicit FakeMessageBox(FakeJournal& journal) : journal_(journal) {}
  void Show(const std::string& title, const std::string& text) override;
  const std::vector<std::string>& titles() const { return titles_; }
  // The next box is closed by a stop: Show throws StopRequested{reason}.
  void StopWhileShowing(const std::string& reason) { stop_reason_ = reason; }

 private:
  FakeJournal& journal_;
  std::vector<std::string> titles_;
  std::string stop_reason_;
};

// A display on which every key sent is recorded as "key <process id>
// Ctrl+F<number>".
class FakeDesktop : public Desktop {
 public:
  explicit FakeDesktop(FakeJournal& journal) : journal_(journal) {}
  bool HasDisplay() override { return display; }
  bool SentKeysNeedWindowMessages() override { return needs_window_messages; }
  void SendControlFunctionKey(int process_id, int number) override;

  bool display = true;
  bool needs_window_messages = false;
  std::string failure;  // when set, every key fails with it

 private:
  FakeJournal& journal_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_DESKTOP_H_

#include "platform/fake/fake_desktop.h"

#include <utility>

#include "base/error.h"
#include "platform/system/stop_request.h"

namespace zindo {

void FakeMessageBox::Show(const std::string& title, const std::string& text) {
  titles_.push_back(title);
  journal_.Record("message " + text);
  if (!stop_reason_.empty()) {
    throw StopRequested{std::exchange(stop_reason_, "")};
  }
}

void FakeDesktop::SendControlFunctionKey(int process_id, int number) {
  journal_.Record("key " + std::to_string(process_id) + " Ctrl+F" +
                  std::to_string(number));
  if (!failure.empty()) throw Error(failure);
}

}  // namespace zindo

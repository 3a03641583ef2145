#ifndef ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_H_
#define ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_H_

#include <string>

namespace zindo {

// A modal message box with only an OK button.
class MessageBox {
 public:
  virtual ~MessageBox() = default;

  // Shows `text` (UTF-8) under `title` and returns once the user has
  // dismissed it, or at once where nobody can dismiss it. Never fails.
  virtual void Show(const std::string& title, const std::string& text) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DESKTOP_MESSAGE_BOX_H_

#include "platform/trace.h"

namespace zindo {

std::string DecimalBytes(const std::string& bytes) {
  std::string text;
  text.reserve(4 * bytes.size());
  for (char byte : bytes) {
    if (!text.empty()) text += ' ';
    text += std::to_string(static_cast<unsigned char>(byte));
  }
  return text;
}

}  // namespace zindo

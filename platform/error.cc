#include "platform/error.h"

#include <cstring>

namespace zindo {

Error SystemError(const std::string& what, int error_number) {
  return Error(what + ": " + std::strerror(error_number));
}

}  // namespace zindo

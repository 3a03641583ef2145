#ifndef ZINDO_PLATFORM_ERROR_H_
#define ZINDO_PLATFORM_ERROR_H_

#include <stdexcept>
#include <string>

namespace zindo {

// A failure of an operating-system service or of a step of the relay. The
// message names what failed and, where the system gave one, its error text,
// for example "open /dev/pts/3: Device or resource busy".
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Builds an Error from an errno value: "<what>: <strerror(error_number)>".
Error SystemError(const std::string& what, int error_number);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_ERROR_H_

#ifndef ZINDO_PLATFORM_PLATFORM_POSIX_H_
#define ZINDO_PLATFORM_PLATFORM_POSIX_H_

#include <string>

namespace zindo {

// Where the prefix was taken from.
struct PrefixOrigin {
  std::string path;
  std::string source;  // "ZINDO_PREFIX", or "HOME" when that is not set
};

// The prefix that holds dosdevices/: $ZINDO_PREFIX, or else $HOME/.zindo.
// Throws Error when neither variable is set.
std::string PrefixFromEnvironment();
// The same, with the variable it came from.
PrefixOrigin PrefixOriginFromEnvironment();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PLATFORM_POSIX_H_

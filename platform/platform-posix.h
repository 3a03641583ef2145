#ifndef ZINDO_PLATFORM_PLATFORM_POSIX_H_
#define ZINDO_PLATFORM_PLATFORM_POSIX_H_

#include <string>

namespace zindo {

// The prefix that holds dosdevices/: $ZINDO_PREFIX, or else $HOME/.zindo.
// Throws Error when neither variable is set.
std::string PrefixFromEnvironment();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PLATFORM_POSIX_H_

#include "base/error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace zindo {

// EWOULDBLOCK is EAGAIN on some systems and not on others, so this is no
// switch: a switch would name one value twice.
ErrorKind ErrorKindOfErrno(int error_number) {
  auto any_of = [error_number](std::initializer_list<int> values) {
    return std::find(values.begin(), values.end(), error_number) !=
           values.end();
  };
  if (any_of({ENOENT, ENOTDIR})) return ErrorKind::kNotFound;
  if (any_of({EEXIST})) return ErrorKind::kExists;
  if (any_of({EBUSY, EAGAIN, EWOULDBLOCK, ETXTBSY})) return ErrorKind::kBusy;
  if (any_of({EIO, ENODEV, ENXIO})) return ErrorKind::kGone;
  return ErrorKind::kOther;
}

Error SystemError(const std::string& what, int error_number) {
  return Error(what + ": " + std::strerror(error_number),
               ErrorKindOfErrno(error_number));
}

}  // namespace zindo

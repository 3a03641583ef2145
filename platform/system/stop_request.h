#ifndef ZINDO_PLATFORM_SYSTEM_STOP_REQUEST_H_
#define ZINDO_PLATFORM_SYSTEM_STOP_REQUEST_H_

#include <string>

namespace zindo {

// Thrown out of a wait (a yield, a message box) once the relay has been asked
// from outside to end: a termination signal on POSIX; a log-off, a shutdown
// or a closed console on Windows. The relay then ends the way the quit
// request ends it. It is no failure, so it is neither an Error nor any other
// std::exception: only the relay's end catches it, never a handler of
// failures on the way.
struct StopRequested {
  // What asked, as the trace shows it: "SIGTERM", "log-off".
  std::string reason;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_STOP_REQUEST_H_

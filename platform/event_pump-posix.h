#ifndef ZINDO_PLATFORM_EVENT_PUMP_POSIX_H_
#define ZINDO_PLATFORM_EVENT_PUMP_POSIX_H_

#include <memory>
#include <string>

#include "platform/descriptor-posix.h"
#include "platform/event_pump.h"
#include "platform/stop_signals-posix.h"
#include "platform/watch_list-posix.h"

namespace zindo {

// Sleeps in ppoll() until the time is up or, when asked to, until the
// working directory changes (through inotify) or an open serial port in
// `watch_list` has bytes or hangs up. Where inotify is unavailable it
// waits for the time only, and the relay notices changes in its next round.
//
// With `stop`, every yield, whatever it waits for, wakes on a stop signal
// and throws StopRequested once one has come.
class PosixEventPump : public EventPump {
 public:
  PosixEventPump(const std::string& working_directory,
                 std::shared_ptr<const WatchList> watch_list,
                 const StopSignals* stop = nullptr);

  void Yield(double max_wait_seconds, WakeOn wake_on) override;

  // Whether changes in the working directory cut a yield short.
  bool watches_directory() const { return directory_events_.valid(); }

 private:
  void DrainDirectoryEvents();

  UniqueFd directory_events_;
  std::shared_ptr<const WatchList> watch_list_;
  const StopSignals* stop_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_EVENT_PUMP_POSIX_H_

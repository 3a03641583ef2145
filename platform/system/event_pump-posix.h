#ifndef ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_POSIX_H_
#define ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_POSIX_H_

#include <poll.h>

#include <memory>
#include <vector>

#include "base/directory_monitor.h"
#include "platform/system/event_pump.h"
#include "platform/system/stop_signals-posix.h"
#include "platform/system/watch_list-posix.h"

namespace zindo {

// Sleeps in ppoll() until the time is up or, when asked to, until a name
// the relay looks for appears or goes in a directory it looks in, or an
// open serial port in `watch_list` has bytes or hangs up. Directory changes
// come from `directory_events` (inotify, -1 for none) through `directories`,
// which keeps the names; directories that cannot be watched are listed
// again each time their period comes round, so only they wake the relay
// while nothing happens.
//
// With `stop`, every yield, whatever it waits for, wakes on a stop signal
// and throws StopRequested once one has come.
class PosixEventPump : public EventPump {
 public:
  PosixEventPump(std::shared_ptr<DirectoryMonitor> directories,
                 int directory_events,
                 std::shared_ptr<const WatchList> watch_list,
                 const StopSignals* stop = nullptr);

  void Yield(double max_wait_seconds, WakeOn wake_on) override;

 private:
  void WaitForActivity(double max_wait_seconds);
  // Waits in one ppoll() for `seconds`, or until something watched for
  // `wake_on` is ready; an infinite time waits until then. Returns whether
  // something other than the directory events is ready.
  bool Wait(double seconds, WakeOn wake_on);

  std::shared_ptr<DirectoryMonitor> directories_;
  int directory_events_;
  std::shared_ptr<const WatchList> watch_list_;
  const StopSignals* stop_;
  std::vector<pollfd> watched_;  // the descriptors of the current wait
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_POSIX_H_

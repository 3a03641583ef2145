#ifndef ZINDO_PLATFORM_SYSTEM_STOP_SIGNALS_POSIX_H_
#define ZINDO_PLATFORM_SYSTEM_STOP_SIGNALS_POSIX_H_

#include "platform/descriptor-posix.h"

namespace zindo {

// Turns SIGTERM, SIGINT and SIGHUP into a request to end: instead of killing
// the process where it stands, each sets a flag and makes a descriptor
// readable, which every wait of the relay watches. The first signal is the
// one reported; later ones change nothing, so a second signal while the
// relay is ending cannot cut its end short.
//
// A signal ignored when this is made (the relay started with nohup, or as
// a background job) stays ignored.
//
// Handlers, not a blocked mask and a signalfd: programs the relay starts get
// the default actions back when they exec, with no mask to undo.
//
// One per process: the handlers have nowhere else to write. Constructing a
// second one while the first exists throws Error. Destruction restores the
// previous handlers.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Readable once a signal has come; a wait that polls it wakes at once.
  int fd() const { return wake_read_.get(); }

  // Empties `fd()` after a wait found it readable, so that the next wait
  // does not return at once for the same wake-up.
  void Drain() const;

  // Throws StopRequested naming the first signal, once one has come.
  void ThrowIfRequested() const;

  // Whether a signal has come.
  bool requested() const;

 private:
  UniqueFd wake_read_;
  UniqueFd wake_write_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_STOP_SIGNALS_POSIX_H_

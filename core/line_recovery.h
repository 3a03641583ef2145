#ifndef ZINDO_CORE_LINE_RECOVERY_H_
#define ZINDO_CORE_LINE_RECOVERY_H_

#include "link/device_message.h"
#include "link/serial_port.h"
#include "link/timed_waits.h"
#include "platform/files/file_system.h"
#include "platform/system/trace.h"

namespace zindo {

// How the line recovery cycle ended.
enum class RecoveryOutcome {
  kBytesWaiting,    // the device has begun to answer the probe
  kRequestPending,  // the companion has left a request
};

// Brings a line back after the device sent an empty frame. Each cycle closes
// the port, waits 2 s, reopens it with RTS raised, waits 2 s, gives the
// companion a synthetic reply in the response file, sends the probe packet,
// and waits 2 s more. It then looks, at once and without yielding, for an
// answer and then for a request, and leaves when it finds either; otherwise
// it starts the next cycle, a little over 6 s after the last.
//
// The port keeps its number and settings across the reopen. Each step goes
// to `trace`. Throws Error when the port cannot be reopened or any step
// fails.
RecoveryOutcome RecoverLine(SerialPort& port, TimedWaits& waits,
                            FileSystem& files, const DevicePackets& packets,
                            Trace& trace);

}  // namespace zindo

#endif  // ZINDO_CORE_LINE_RECOVERY_H_

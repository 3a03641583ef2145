#include "core/line_recovery.h"

#include "exchange/request_file.h"
#include "exchange/response_file.h"

namespace zindo {

namespace {

constexpr float kRecoveryStepSeconds = 2.0f;
// What the companion is told while the device is silent: a synthetic reply
// with nothing kept from any reply.
constexpr uint8_t kNothingKept = 255;

void ReopenPort(SerialPort& port, TimedWaits& waits, Trace& trace) {
  port.SetPortOpen(false);
  trace.Record("recovery: port closed");
  waits.GuardedPause(kRecoveryStepSeconds);
  port.SetPortOpen(true);
  port.SetRTSEnable(true);
  trace.Record("recovery: port reopened");
  waits.GuardedPause(kRecoveryStepSeconds);
  port.SetRThreshold(1);
}

void ProbeDevice(SerialPort& port, TimedWaits& waits, FileSystem& files,
                 const DevicePackets& packets, Trace& trace) {
  WriteResponse(files, SyntheticReply(packets, kNothingKept));
  trace.Record("recovery: synthetic response written");
  waits.Yield();
  waits.Yield();
  port.Output(packets.probe);
  trace.Record("recovery: probe sent");
  waits.GuardedPause(kRecoveryStepSeconds);
}

}  // namespace

RecoveryOutcome RecoverLine(SerialPort& port, TimedWaits& waits,
                            FileSystem& files, const DevicePackets& packets,
                            Trace& trace) {
  for (;;) {
    ReopenPort(port, waits, trace);
    ProbeDevice(port, waits, files, packets, trace);
    // The answer is looked for once, right as the wait ends.
    if (port.InBufferCount() != 0) {
      trace.Record("recovery: the device answers");
      return RecoveryOutcome::kBytesWaiting;
    }
    if (RequestPresent(files)) {
      trace.Record("recovery: a request is waiting");
      return RecoveryOutcome::kRequestPending;
    }
    trace.Record("recovery: no answer");
  }
}

}  // namespace zindo

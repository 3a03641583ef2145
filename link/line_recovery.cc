#include "link/line_recovery.h"

#include "exchange/request_file.h"
#include "exchange/response_file.h"

namespace zindo {

namespace {

constexpr float kRecoveryStepSeconds = 2.0f;
// What the companion is told while the device is silent: a synthetic reply
// with nothing kept from any reply.
constexpr uint8_t kNothingKept = 255;

void ReopenPort(SerialPort& port, TimedWaits& waits) {
  port.SetPortOpen(false);
  waits.GuardedPause(kRecoveryStepSeconds);
  port.SetPortOpen(true);
  port.SetRTSEnable(true);
  waits.GuardedPause(kRecoveryStepSeconds);
  port.SetRThreshold(1);
}

void ProbeDevice(SerialPort& port, TimedWaits& waits, FileSystem& files,
                 const DevicePackets& packets) {
  WriteResponse(files, SyntheticReply(packets, kNothingKept));
  waits.Yield();
  waits.Yield();
  port.Output(packets.probe);
  waits.GuardedPause(kRecoveryStepSeconds);
}

}  // namespace

RecoveryOutcome RecoverLine(SerialPort& port, TimedWaits& waits,
                            FileSystem& files, const DevicePackets& packets) {
  for (;;) {
    ReopenPort(port, waits);
    ProbeDevice(port, waits, files, packets);
    // The answer is looked for once, right as the wait ends.
    if (port.InBufferCount() != 0) return RecoveryOutcome::kBytesWaiting;
    if (RequestPresent(files)) return RecoveryOutcome::kRequestPending;
  }
}

}  // namespace zindo

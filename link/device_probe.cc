#include "link/device_probe.h"

namespace zindo {
namespace {

// Waits until the first byte of an answer is waiting or the wait for it
// ends. Returns when it came, in seconds after `sent`, or -1.
double WaitForFirstByte(SerialPort& port, TimedWaits& waits,
                        const Deadline& deadline, double sent) {
  for (;;) {
    if (port.InBufferCount() > 0) return waits.MonotonicSeconds() - sent;
    if (waits.Reached(deadline)) return -1;
    waits.WaitForActivityUntil(deadline);
  }
}

ProbeAnswer SendProbeAndListen(SerialPort& port, TimedWaits& waits,
                               const DevicePackets& packets) {
  port.Input();  // what came before the probe answers something else
  waits.MidnightGuard();
  const double sent = waits.MonotonicSeconds();
  const Deadline deadline = waits.DeadlineIn(kProbeAnswerSeconds);
  port.Output(packets.probe);
  ProbeAnswer answer;
  answer.first_byte_seconds = WaitForFirstByte(port, waits, deadline, sent);
  // The rest of the answer has the rest of the wait, as in the recovery
  // cycle, which looks only once the whole wait is over.
  if (answer.first_byte_seconds >= 0) {
    waits.Pause(
        static_cast<float>(kProbeAnswerSeconds - answer.first_byte_seconds));
  }
  answer.bytes = port.Input();
  if (answer.bytes.empty()) {
    answer.kind = ProbeAnswer::Kind::kSilent;
  } else if (IsEmptyFrame(answer.bytes)) {
    answer.kind = ProbeAnswer::Kind::kEmptyFrame;
  } else {
    answer.kind = ProbeAnswer::Kind::kAnswered;
  }
  return answer;
}

}  // namespace

ProbeAnswer ProbeDevice(SerialPort& port, TimedWaits& waits,
                        const DevicePackets& packets) {
  port.SetSettings(kDeviceLineSettings);
  port.SetInputLen(0);
  port.SetPortOpen(true);
  try {
    port.SetRTSEnable(true);
    // The device gets the time to settle that the recovery cycle gives it
    // after a reopen.
    waits.GuardedPause(kProbeAnswerSeconds);
    port.SetRThreshold(1);
    const ProbeAnswer answer = SendProbeAndListen(port, waits, packets);
    port.SetPortOpen(false);
    return answer;
  } catch (...) {
    port.SetPortOpen(false);
    throw;
  }
}

}  // namespace zindo

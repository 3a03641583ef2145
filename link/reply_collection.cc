#include "link/reply_collection.h"

namespace zindo {

namespace {

// Samples the count of waiting bytes 0.3 s apart until it has settled or the
// deadline has passed. The deadline is checked only between samples, so
// bytes that keep coming are read at most one sample after it.
void WaitForReplyToSettle(SerialPort& port, TimedWaits& waits) {
  waits.MidnightGuard();
  const float deadline = waits.Now() + kReplyDeadlineSeconds;
  for (;;) {
    waits.Yield();
    const int16_t before = port.InBufferCount();
    waits.Pause(kReplySampleSeconds);
    waits.Yield();
    const int16_t after = port.InBufferCount();
    if (waits.Now() >= deadline) return;
    if (after == before && after >= kSettledReplyBytes) return;
  }
}

CollectedReply Classify(std::string bytes, const DevicePackets& packets) {
  using Kind = CollectedReply::Kind;
  if (bytes.empty()) return {Kind::kNothing, ""};
  if (IsEmptyFrame(bytes)) return {Kind::kEmptyFrame, std::move(bytes)};
  if (IsShortReply(bytes))
    return {Kind::kReply, RepairShortReply(packets, bytes)};
  return {Kind::kReply, std::move(bytes)};
}

}  // namespace

CollectedReply CollectReply(SerialPort& port, TimedWaits& waits,
                            const DevicePackets& packets) {
  WaitForReplyToSettle(port, waits);
  for (int i = 0; i < 3; ++i) waits.Yield();
  return Classify(port.Input(), packets);
}

}  // namespace zindo

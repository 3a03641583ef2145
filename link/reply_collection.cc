#include "link/reply_collection.h"

namespace zindo {

namespace {

// "1 byte", "19 bytes".
std::string ByteCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// Samples the count of waiting bytes 0.3 s apart until it has settled or the
// deadline has passed. The deadline is checked only between samples, so
// bytes that keep coming are read at most one sample after it.
void WaitForReplyToSettle(SerialPort& port, TimedWaits& waits) {
  waits.MidnightGuard();
  const Deadline deadline = waits.DeadlineIn(kReplyDeadlineSeconds);
  for (;;) {
    waits.Yield();
    const int16_t before = port.InBufferCount();
    waits.Pause(kReplySampleSeconds);
    waits.Yield();
    const int16_t after = port.InBufferCount();
    if (waits.Reached(deadline)) return;
    if (after == before && after >= kSettledReplyBytes) return;
  }
}

CollectedReply Classify(std::string bytes, const DevicePackets& packets,
                        Trace& trace) {
  using Kind = CollectedReply::Kind;
  if (bytes.empty()) {
    trace.Record("the waiting bytes were gone when read");
    return {Kind::kNothing, ""};
  }
  trace.Record("received " + ByteCount(bytes.size()) + ": " +
               DecimalBytes(bytes));
  if (IsEmptyFrame(bytes)) {
    trace.Record("empty frame: the line needs recovering");
    return {Kind::kEmptyFrame, std::move(bytes)};
  }
  if (IsShortReply(bytes)) {
    trace.Record("short reply: " + std::to_string(bytes.size()) + " of " +
                 std::to_string(ExpectedLength(bytes)) +
                 " bytes, replaced from the template");
    return {Kind::kReply, RepairShortReply(packets, bytes)};
  }
  return {Kind::kReply, std::move(bytes)};
}

}  // namespace

CollectedReply CollectReply(SerialPort& port, TimedWaits& waits,
                            const DevicePackets& packets, Trace& trace) {
  if (trace.enabled()) {
    trace.Record(ByteCount(static_cast<std::size_t>(port.InBufferCount())) +
                 " waiting: collecting a reply");
  }
  WaitForReplyToSettle(port, waits);
  for (int i = 0; i < 3; ++i) waits.Yield();
  return Classify(port.Input(), packets, trace);
}

}  // namespace zindo

#ifndef ZINDO_LINK_REPLY_COLLECTION_H_
#define ZINDO_LINK_REPLY_COLLECTION_H_

#include <string>

#include "link/device_message.h"
#include "link/serial_port.h"
#include "link/timed_waits.h"
#include "platform/system/trace.h"

namespace zindo {

// What one collection brought in.
struct CollectedReply {
  enum class Kind {
    kNothing,     // the bytes were gone by the time they were read
    kReply,       // a reply for the companion, in `bytes`
    kEmptyFrame,  // the device sent an empty frame: the line needs recovery
  };
  Kind kind = Kind::kNothing;
  std::string bytes;
};

// How long collection waits for a reply to settle, at most, and how often
// it samples the count of waiting bytes.
inline constexpr float kReplyDeadlineSeconds = 6.0f;
inline constexpr float kReplySampleSeconds = 0.3f;
// A reply this long or longer is taken as soon as its byte count holds still
// over one sample; a shorter one always gets the full deadline.
inline constexpr int kSettledReplyBytes = 13;

// Collects a reply once bytes wait on `port`: waits until the count of
// waiting bytes has held still over 0.3 s with at least 13 waiting, or until
// 6 s have passed, then reads everything. A reply shorter than its first byte
// announces is replaced by a synthetic reply from `packets`; a longer one is
// kept whole. What arrived, and what became of it, goes to `trace`. Throws
// Error when the port fails.
CollectedReply CollectReply(SerialPort& port, TimedWaits& waits,
                            const DevicePackets& packets, Trace& trace);

}  // namespace zindo

#endif  // ZINDO_LINK_REPLY_COLLECTION_H_

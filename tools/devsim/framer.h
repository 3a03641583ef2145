#ifndef ZINDO_TOOLS_DEVSIM_FRAMER_H_
#define ZINDO_TOOLS_DEVSIM_FRAMER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zindo::tools {

// One message as the device received it.
struct ReceivedMessage {
  std::string bytes;
  // False when the bytes stopped before the length the first byte announces.
  bool complete = true;
};

// Cuts the byte stream from the relay into messages by their length byte:
// a message is its first byte plus 2 bytes long. Bytes that have not made
// up a whole message 200 ms after the last of them arrived are given up
// on and handed out as an incomplete message, so that a lost byte costs
// one message and not every message after it. Instants are seconds on the
// monotonic clock (Clock::MonotonicSeconds).
class MessageFramer {
 public:
  static constexpr double kIncompleteAfterSeconds = 0.2;

  // Takes `bytes` that arrived at `now`; returns the messages they finish,
  // in order. Bytes left over from before that had already timed out come
  // first, as an incomplete message.
  std::vector<ReceivedMessage> Feed(std::string_view bytes, double now);

  // The incomplete message, if the bytes waiting timed out by `now`.
  std::optional<ReceivedMessage> Expire(double now);

  // When waiting bytes time out; nothing when none wait.
  std::optional<double> Deadline() const;

 private:
  std::string waiting_;
  double last_byte_at_ = 0;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_DEVSIM_FRAMER_H_

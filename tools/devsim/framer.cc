#include "tools/devsim/framer.h"

#include <utility>

#include "link/device_message.h"

namespace zindo::tools {

std::vector<ReceivedMessage> MessageFramer::Feed(std::string_view bytes,
                                                 double now) {
  std::vector<ReceivedMessage> messages;
  if (auto stale = Expire(now)) messages.push_back(std::move(*stale));
  if (bytes.empty()) return messages;
  waiting_.append(bytes);
  last_byte_at_ = now;
  while (!waiting_.empty() && waiting_.size() >= ExpectedLength(waiting_)) {
    const std::size_t length = ExpectedLength(waiting_);
    messages.push_back({waiting_.substr(0, length), true});
    waiting_.erase(0, length);
  }
  return messages;
}

std::optional<ReceivedMessage> MessageFramer::Expire(double now) {
  if (waiting_.empty() || now < *Deadline()) return std::nullopt;
  return ReceivedMessage{std::exchange(waiting_, {}), false};
}

std::optional<double> MessageFramer::Deadline() const {
  if (waiting_.empty()) return std::nullopt;
  return last_byte_at_ + kIncompleteAfterSeconds;
}

}  // namespace zindo::tools

#ifndef ZINDO_TOOLS_DEVSIM_REPLIES_H_
#define ZINDO_TOOLS_DEVSIM_REPLIES_H_

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tools/devsim/framer.h"
#include "tools/devsim/rules.h"

namespace zindo::tools {

// One write to the line, and how long to wait before it: after the message
// for the first chunk of a reply, after the chunk before for the others.
struct ReplyChunk {
  std::string bytes;
  double delay_seconds = 0;
  int number = 1;  // counting from 1
  int count = 1;   // chunks in the whole reply
};

// What `rule` answers to `message`, cut into chunks; empty when nothing is
// to be sent (silent, or truncated to nothing).
std::vector<ReplyChunk> PlanReply(const Rule& rule, const std::string& message);

// The chunks waiting to be written, one reply after another. Each delay is
// measured from when the chunk before was actually written, so a late
// wake-up never shortens the gap that follows it. A reply planned while
// another is still going out waits behind it: its `after` starts when the
// other's last chunk is written. Instants are seconds on the monotonic
// clock, as the framer's are.
class ReplyScheduler {
 public:
  // Queues `chunks` for a message that arrived at `now`. True when they
  // wait behind a reply still being sent.
  bool Add(std::vector<ReplyChunk> chunks, double now);

  // When the next chunk is due; nothing when none waits.
  std::optional<double> NextDue() const;

  // The next chunk if it is due at `now`, no longer waiting; the time since
  // the write it was measured from is in `waited_seconds`.
  struct DueChunk {
    ReplyChunk chunk;
    double waited_seconds;
  };
  std::optional<DueChunk> TakeDue(double now);

  // Forgets every waiting chunk, as when the port closes under them.
  // Returns how many bytes will not be sent.
  std::size_t DropAll();

 private:
  std::deque<ReplyChunk> waiting_;
  double measured_from_ = 0;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_DEVSIM_REPLIES_H_

#include "tools/devsim/replies.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zindo::tools {
namespace {

std::string AnswerBytes(const Action& action, const std::string& message) {
  switch (action.kind) {
    case Action::Kind::kReply:
    case Action::Kind::kEmpty:
      return action.bytes;
    case Action::Kind::kEcho:
      return message;
    case Action::Kind::kSilent:
      return {};
  }
  return {};
}

}  // namespace

std::vector<ReplyChunk> PlanReply(const Rule& rule,
                                  const std::string& message) {
  std::string bytes = AnswerBytes(rule.action, message);
  const Delivery& delivery = rule.delivery;
  if (delivery.truncate && *delivery.truncate < bytes.size()) {
    bytes.resize(*delivery.truncate);
  }
  const std::size_t size =
      delivery.chunk_size == 0 ? bytes.size() : delivery.chunk_size;
  std::vector<ReplyChunk> chunks;
  for (std::size_t start = 0; start < bytes.size(); start += size) {
    const bool first = chunks.empty();
    chunks.push_back({bytes.substr(start, size),
                      first ? delivery.after_seconds : delivery.gap_seconds,
                      static_cast<int>(chunks.size()) + 1, 0});
  }
  for (ReplyChunk& chunk : chunks)
    chunk.count = static_cast<int>(chunks.size());
  return chunks;
}

bool ReplyScheduler::Add(std::vector<ReplyChunk> chunks, double now) {
  if (chunks.empty()) return false;
  const bool behind = !waiting_.empty();
  if (!behind) measured_from_ = now;
  std::move(chunks.begin(), chunks.end(), std::back_inserter(waiting_));
  return behind;
}

std::optional<double> ReplyScheduler::NextDue() const {
  if (waiting_.empty()) return std::nullopt;
  return measured_from_ + waiting_.front().delay_seconds;
}

std::optional<ReplyScheduler::DueChunk> ReplyScheduler::TakeDue(double now) {
  if (waiting_.empty() || now < *NextDue()) return std::nullopt;
  DueChunk due{std::move(waiting_.front()), now - measured_from_};
  waiting_.pop_front();
  measured_from_ = now;
  return due;
}

std::size_t ReplyScheduler::DropAll() {
  std::size_t bytes = 0;
  for (const ReplyChunk& chunk : waiting_) bytes += chunk.bytes.size();
  waiting_.clear();
  return bytes;
}

}  // namespace zindo::tools

#include "platform/fake/fake_journal.h"

#include <algorithm>
#include <cstdio>

#include "platform/fake/fake_clock.h"

namespace zindo {

void FakeJournal::Record(const std::string& entry) {
  entries_.push_back(entry);
  times_.push_back(clock_ ? clock_->now() : 0.0);
  if (on_record_) on_record_(entry);
}

int FakeJournal::Find(const std::string& prefix) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].starts_with(prefix)) return static_cast<int>(i);
  }
  return -1;
}

int FakeJournal::Count(const std::string& prefix) const {
  return static_cast<int>(std::count_if(
      entries_.begin(), entries_.end(),
      [&](const std::string& e) { return e.starts_with(prefix); }));
}

std::string HexBytes(const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    if (!text.empty()) text += ' ';
    text += hex;
  }
  return text;
}

}  // namespace zindo

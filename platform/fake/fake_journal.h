#ifndef ZINDO_PLATFORM_FAKE_FAKE_JOURNAL_H_
#define ZINDO_PLATFORM_FAKE_FAKE_JOURNAL_H_

// The journal that every fake records what the relay did in, in order.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zindo {

// What the relay asked of the platform, one entry per call that changes
// something, in order: "mkdir c:\zindo", "write ZINDOK1.TXT 01 00 00 0d 0a",
// "open COM1 19200,N,8,1", "rts on", "message <text>", "launch autoexec.pif".
class FakeJournal {
 public:
  void Record(const std::string& entry);
  const std::vector<std::string>& entries() const { return entries_; }
  // The clock reading at which entry `index` was recorded (0 without a
  // clock).
  double TimeOf(int index) const { return times_.at(index); }
  void set_clock(const class FakeClock* clock) { clock_ = clock; }
  // Called with every entry once it is recorded: lets a test act at an
  // exact point of the run.
  void set_on_record(std::function<void(const std::string&)> on_record) {
    on_record_ = std::move(on_record);
  }
  // Index of the first entry starting with `prefix`, or -1.
  int Find(const std::string& prefix) const;
  // Number of entries starting with `prefix`.
  int Count(const std::string& prefix) const;

 private:
  std::vector<std::string> entries_;
  std::vector<double> times_;
  const FakeClock* clock_ = nullptr;
  std::function<void(const std::string&)> on_record_;
};

// Bytes as two-digit lower-case hex separated by spaces, for journal entries.
std::string HexBytes(const std::string& bytes);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_JOURNAL_H_

#ifndef ZINDO_PLATFORM_FAKE_FAKE_SYSTEM_H_
#define ZINDO_PLATFORM_FAKE_FAKE_SYSTEM_H_

// The relay's own process, its trace and its log.

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_journal.h"
#include "platform/system/failure_log.h"
#include "platform/system/process.h"
#include "platform/system/trace.h"

namespace zindo {

// Thrown by FakeProcess::Exit in place of ending the test's process.
struct FakeExit {
  int status;
};

class FakeProcess : public Process {
 public:
  explicit FakeProcess(FakeJournal& journal) : journal_(journal) {}
  void WriteDiagnosticLine(const std::string& line) override;
  void Exit(int status) override;
  const std::vector<std::string>& diagnostics() const { return diagnostics_; }

 private:
  FakeJournal& journal_;
  std::vector<std::string> diagnostics_;
};

// Keeps every event with the fake time it was recorded at.
class FakeTrace : public Trace {
 public:
  explicit FakeTrace(const FakeClock& clock) : clock_(clock) {}
  bool enabled() const override { return true; }
  void Record(const std::string& event) override {
    events_.push_back(event);
    times_.push_back(clock_.now());
  }
  const std::vector<std::string>& events() const { return events_; }
  double TimeOf(int index) const { return times_.at(index); }

 private:
  const FakeClock& clock_;
  std::vector<std::string> events_;
  std::vector<double> times_;
};

// A log in memory: each line recorded is kept, as "failure <cause>",
// "message <text>" or "message (<why>) <text>", and LastFailure answers what
// the test set.
class FakeFailureLog : public FailureLog {
 public:
  std::string path() const override {
    return "/home/user/.local/state/zindo-relay/zindo-relay.log";
  }
  void RecordFailure(const std::string& cause) override {
    lines.push_back("failure " + cause);
  }
  void RecordMessage(const std::string& text, const std::string& why) override {
    lines.push_back("message " + (why.empty() ? "" : "(" + why + ") ") + text);
  }
  std::string LastFailure() override {
    if (read_failure) throw *read_failure;
    return last_failure;
  }

  std::vector<std::string> lines;
  std::string last_failure;           // "" when the log holds none
  std::optional<Error> read_failure;  // when set, LastFailure throws it
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_SYSTEM_H_

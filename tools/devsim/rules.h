#ifndef ZINDO_TOOLS_DEVSIM_RULES_H_
#define ZINDO_TOOLS_DEVSIM_RULES_H_

// How zindo-devsim decides what to answer. A rule reads
//
//   TRIGGER: ACTION [MODIFIER...]
//
//   TRIGGER   any | probe | request | prefix B,B,...
//   ACTION    reply B,B,... | echo | empty | silent
//   MODIFIER  after MS | chunks N gap MS | truncate N | once | times K
//
// Bytes are decimal or 0x hex, separated by commas; "#" starts a comment.
// Rules are tried in order and the first that matches answers; a rule with
// once or times K retires after its first or K-th match.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zindo::tools {

// A rule that cannot be read. The message names the word at fault.
class RuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Trigger {
  enum class Kind { kAny, kProbe, kRequest, kPrefix };
  Kind kind = Kind::kAny;
  std::string prefix;  // for kPrefix
};

struct Action {
  enum class Kind { kReply, kEcho, kEmpty, kSilent };
  Kind kind = Kind::kSilent;
  std::string bytes;  // for kReply
};

// How an answer goes out on the line. The rule text gives its waits in
// milliseconds; they are kept in seconds, as every wait is.
struct Delivery {
  double after_seconds = 0;             // before the first byte
  std::size_t chunk_size = 0;           // 0: all bytes at once
  double gap_seconds = 0;               // between chunks
  std::optional<std::size_t> truncate;  // send only this many bytes
};

struct Rule {
  Trigger trigger;
  Action action;
  Delivery delivery;
  int max_matches = 0;  // 0: never retires
  std::string text;     // as written, without comment or outer blanks
};

// Parses one rule. Throws RuleError for an empty or malformed rule.
Rule ParseRule(std::string_view text);

// Parses a file's worth of rules, one a line, skipping blank and comment
// lines. Errors name `origin` and the line number ("rules.txt:3: ...").
std::vector<Rule> ParseRuleScript(std::string_view script,
                                  std::string_view origin);

// The rules in force, in order, with what each has matched so far.
class RuleSet {
 public:
  struct Match {
    std::size_t number;  // counting from 1, as the log shows it
    const Rule* rule;
    bool retired;  // this match was its last
  };

  explicit RuleSet(std::vector<Rule> rules, std::string probe);

  // The first live rule that `message` triggers, counted as matched; nothing
  // when none does.
  std::optional<Match> Take(const std::string& message);

  bool IsProbe(const std::string& message) const { return message == probe_; }

 private:
  bool Triggers(const Trigger& trigger, const std::string& message) const;

  std::vector<Rule> rules_;
  std::vector<int> matches_;
  std::string probe_;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_DEVSIM_RULES_H_

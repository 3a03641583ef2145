#include "tools/devsim/rules.h"

#include <utility>

#include "base/dos_path.h"
#include "tools/tool_support.h"

namespace zindo::tools {
namespace {

// Larger values are surely typing mistakes: an hour of waiting, a megabyte.
constexpr unsigned long kMaxMilliseconds = 3'600'000;
constexpr unsigned long kMaxCount = 1'000'000;

std::string Quoted(std::string_view word) {
  return "\"" + std::string(word) + "\"";
}

// The rule's words. Blanks next to a comma are dropped first, so that a
// byte list stays one word however it is spaced.
class Words {
 public:
  explicit Words(std::string_view text) {
    std::string word;
    for (const char c : JoinCommaLists(text)) {
      if (c != ' ' && c != '\t') {
        word += c;
      } else if (!word.empty()) {
        words_.push_back(std::move(word));
        word.clear();
      }
    }
    if (!word.empty()) words_.push_back(std::move(word));
  }

  bool Done() const { return next_ == words_.size(); }
  std::string Next() { return Done() ? std::string() : words_[next_++]; }

 private:
  static std::string JoinCommaLists(std::string_view text) {
    std::string joined;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == ' ' || text[i] == '\t') {
        const bool after_comma = !joined.empty() && joined.back() == ',';
        const std::size_t next = text.find_first_not_of(" \t", i);
        const bool before_comma = next != text.npos && text[next] == ',';
        if (after_comma || before_comma) continue;
      }
      joined += text[i];
    }
    return joined;
  }

  std::vector<std::string> words_;
  std::size_t next_ = 0;
};

char ParseByte(std::string_view item, std::string_view list) {
  const ParsedByte parsed = ParseByteText(item);
  if (parsed.fault != ParsedByte::Fault::kNone) {
    throw RuleError(Quoted(item) + (item == list ? "" : " in " + Quoted(list)) +
                    " is not a byte (0 to 255, or 0x00 to 0xFF)");
  }
  return static_cast<char>(parsed.value);
}

std::string ParseBytes(Words& words, std::string_view keyword) {
  const std::string list = words.Next();
  if (list.empty()) {
    throw RuleError(Quoted(keyword) + " needs bytes, e.g. \"" +
                    std::string(keyword) + " 3,0,1\"");
  }
  std::string bytes;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    bytes +=
        ParseByte(std::string_view(list).substr(start, comma - start), list);
    if (comma == std::string::npos) return bytes;
    start = comma + 1;
  }
}

unsigned long ParseCount(Words& words, std::string_view keyword,
                         unsigned long lowest, unsigned long highest) {
  const std::string word = words.Next();
  const auto value = ParseNumber(word);
  if (!value) {
    throw RuleError(Quoted(keyword) + " needs a number, found " +
                    (word.empty() ? "the end of the rule" : Quoted(word)));
  }
  if (*value < lowest || *value > highest) {
    throw RuleError(Quoted(std::string(keyword) + " " + word) +
                    ": the number must be from " + std::to_string(lowest) +
                    " to " + std::to_string(highest));
  }
  return *value;
}

// A wait written in whole milliseconds, in seconds.
double ParseMilliseconds(Words& words, std::string_view keyword) {
  return ParseCount(words, keyword, 0, kMaxMilliseconds) / 1000.0;
}

Trigger ParseTrigger(std::string_view text) {
  Words words(text);
  const std::string word = words.Next();
  Trigger trigger;
  if (word == "any") {
    trigger.kind = Trigger::Kind::kAny;
  } else if (word == "probe") {
    trigger.kind = Trigger::Kind::kProbe;
  } else if (word == "request") {
    trigger.kind = Trigger::Kind::kRequest;
  } else if (word == "prefix") {
    trigger.kind = Trigger::Kind::kPrefix;
    trigger.prefix = ParseBytes(words, word);
  } else {
    throw RuleError("unknown trigger " + Quoted(word) +
                    " (any, probe, request, prefix B,B,...)");
  }
  if (!words.Done()) {
    throw RuleError("unexpected " + Quoted(words.Next()) + " after trigger " +
                    Quoted(word));
  }
  return trigger;
}

Action ParseAction(Words& words) {
  const std::string word = words.Next();
  if (word == "reply") return {Action::Kind::kReply, ParseBytes(words, word)};
  if (word == "echo") return {Action::Kind::kEcho, {}};
  if (word == "empty") return {Action::Kind::kEmpty, std::string(1, '\0')};
  if (word == "silent") return {Action::Kind::kSilent, {}};
  throw RuleError("unknown action " +
                  (word.empty() ? std::string("(none given)") : Quoted(word)) +
                  " (reply B,B,..., echo, empty, silent)");
}

}  // namespace

namespace {

// Which modifiers a rule has used, so that each is given at most once.
struct SeenModifiers {
  std::vector<std::string> names;

  void Add(const std::string& name) {
    for (const std::string& seen : names) {
      const bool clash = (seen == "once" && name == "times") ||
                         (seen == "times" && name == "once");
      if (seen == name) throw RuleError(Quoted(name) + " is given twice");
      if (clash)
        throw RuleError(Quoted(seen) + " and " + Quoted(name) +
                        " cannot go together");
    }
    names.push_back(name);
  }
};

void ParseChunks(Words& words, Delivery& delivery) {
  delivery.chunk_size = ParseCount(words, "chunks", 1, kMaxCount);
  const std::string word = words.Next();
  if (word != "gap") {
    throw RuleError("\"chunks " + std::to_string(delivery.chunk_size) +
                    "\" must be followed by \"gap MS\", found " +
                    (word.empty() ? "the end of the rule" : Quoted(word)));
  }
  delivery.gap_seconds = ParseMilliseconds(words, "gap");
}

void ParseModifier(const std::string& word, Words& words, Rule& rule) {
  if (word == "after") {
    rule.delivery.after_seconds = ParseMilliseconds(words, word);
  } else if (word == "chunks") {
    ParseChunks(words, rule.delivery);
  } else if (word == "truncate") {
    rule.delivery.truncate = ParseCount(words, word, 0, kMaxCount);
  } else if (word == "once") {
    rule.max_matches = 1;
  } else if (word == "times") {
    rule.max_matches = static_cast<int>(ParseCount(words, word, 1, kMaxCount));
  } else {
    throw RuleError("unknown modifier " + Quoted(word) +
                    " (after MS, chunks N gap MS, truncate N, once, times K)");
  }
}

void ParseModifiers(Words& words, Rule& rule) {
  SeenModifiers seen;
  while (!words.Done()) {
    const std::string word = words.Next();
    ParseModifier(word, words, rule);
    seen.Add(word);
    const bool shapes_answer = word != "once" && word != "times";
    if (shapes_answer && rule.action.kind == Action::Kind::kSilent) {
      throw RuleError(Quoted(word) + " has nothing to send with \"silent\"");
    }
  }
}

std::string_view WithoutComment(std::string_view line) {
  return Trimmed(line.substr(0, line.find('#')));
}

}  // namespace

Rule ParseRule(std::string_view text) {
  Rule rule;
  rule.text = std::string(WithoutComment(text));
  try {
    if (rule.text.empty()) throw RuleError("the rule is empty");
    const std::size_t colon = rule.text.find(':');
    if (colon == std::string::npos) {
      throw RuleError("no \":\" between the trigger and the action");
    }
    rule.trigger = ParseTrigger(std::string_view(rule.text).substr(0, colon));
    Words words(std::string_view(rule.text).substr(colon + 1));
    rule.action = ParseAction(words);
    ParseModifiers(words, rule);
  } catch (const RuleError& error) {
    throw RuleError("rule " + Quoted(rule.text) + ": " + error.what());
  }
  return rule;
}

std::vector<Rule> ParseRuleScript(std::string_view script,
                                  std::string_view origin) {
  std::vector<Rule> rules;
  int line_number = 0;
  while (!script.empty()) {
    const std::size_t end = script.find('\n');
    const std::string_view line = script.substr(0, end);
    script = end == script.npos ? std::string_view() : script.substr(end + 1);
    ++line_number;
    if (WithoutComment(line).empty()) continue;
    try {
      rules.push_back(ParseRule(line));
    } catch (const RuleError& error) {
      throw RuleError(std::string(origin) + ":" + std::to_string(line_number) +
                      ": " + error.what());
    }
  }
  return rules;
}

RuleSet::RuleSet(std::vector<Rule> rules, std::string probe)
    : rules_(std::move(rules)),
      matches_(rules_.size(), 0),
      probe_(std::move(probe)) {}

std::optional<RuleSet::Match> RuleSet::Take(const std::string& message) {
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const Rule& rule = rules_[i];
    const bool retired =
        rule.max_matches > 0 && matches_[i] >= rule.max_matches;
    if (retired || !Triggers(rule.trigger, message)) continue;
    ++matches_[i];
    return Match{i + 1, &rule, matches_[i] == rule.max_matches};
  }
  return std::nullopt;
}

bool RuleSet::Triggers(const Trigger& trigger,
                       const std::string& message) const {
  switch (trigger.kind) {
    case Trigger::Kind::kAny:
      return true;
    case Trigger::Kind::kProbe:
      return IsProbe(message);
    case Trigger::Kind::kRequest:
      return !IsProbe(message);
    case Trigger::Kind::kPrefix:
      return message.starts_with(trigger.prefix);
  }
  return false;
}

}  // namespace zindo::tools

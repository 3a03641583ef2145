#include "tools/devsim/rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/test_bytes.h"
#include "link/device_message.h"

namespace zindo::tools {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

// The message of the RuleError that parsing `text` throws.
std::string ErrorFor(const std::string& text) {
  try {
    ParseRule(text);
  } catch (const RuleError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ParseRuleTest, ReadsEveryTriggerAndAction) {
  EXPECT_EQ(ParseRule("any: echo").trigger.kind, Trigger::Kind::kAny);
  EXPECT_EQ(ParseRule("probe: silent").trigger.kind, Trigger::Kind::kProbe);
  EXPECT_EQ(ParseRule("request: empty").trigger.kind, Trigger::Kind::kRequest);

  const Rule prefix = ParseRule("prefix 3,0x00,255: reply 0x11,0,7");
  EXPECT_EQ(prefix.trigger.kind, Trigger::Kind::kPrefix);
  EXPECT_EQ(prefix.trigger.prefix, Bytes({3, 0, 255}));
  EXPECT_EQ(prefix.action.kind, Action::Kind::kReply);
  EXPECT_EQ(prefix.action.bytes, Bytes({17, 0, 7}));

  EXPECT_EQ(ParseRule("any: echo").action.kind, Action::Kind::kEcho);
  EXPECT_EQ(ParseRule("any: silent").action.kind, Action::Kind::kSilent);
  const Rule empty = ParseRule("any: empty");
  EXPECT_EQ(empty.action.kind, Action::Kind::kEmpty);
  EXPECT_EQ(empty.action.bytes, Bytes({0}));
}

TEST(ParseRuleTest, ReadsEveryModifier) {
  const Rule rule = ParseRule(
      "request: reply 1,2,3 after 250 chunks 2 gap 400 truncate 5 "
      "times 3");
  EXPECT_EQ(rule.delivery.after_seconds, 0.25);  // given in milliseconds
  EXPECT_EQ(rule.delivery.chunk_size, 2u);
  EXPECT_EQ(rule.delivery.gap_seconds, 0.4);
  EXPECT_EQ(rule.delivery.truncate, 5u);
  EXPECT_EQ(rule.max_matches, 3);
  EXPECT_EQ(ParseRule("any: echo once").max_matches, 1);
  EXPECT_EQ(ParseRule("any: echo").max_matches, 0);
  EXPECT_FALSE(ParseRule("any: echo").delivery.truncate.has_value());
}

TEST(ParseRuleTest, ToleratesSpacingAndComments) {
  const Rule rule = ParseRule("  prefix 3 , 0:reply 1, 2 ,3   # a comment");
  EXPECT_EQ(rule.trigger.prefix, Bytes({3, 0}));
  EXPECT_EQ(rule.action.bytes, Bytes({1, 2, 3}));
  EXPECT_EQ(rule.text, "prefix 3 , 0:reply 1, 2 ,3");
}

TEST(ParseRuleTest, ErrorsNameTheWordAtFault) {
  EXPECT_THAT(ErrorFor("anything: echo"),
              AllOf(HasSubstr("rule \"anything: echo\""),
                    HasSubstr("unknown trigger \"anything\"")));
  EXPECT_THAT(ErrorFor("any: ecko"), HasSubstr("unknown action \"ecko\""));
  EXPECT_THAT(ErrorFor("any:"), HasSubstr("unknown action (none given)"));
  EXPECT_THAT(ErrorFor("any: echo slowly"),
              HasSubstr("unknown modifier \"slowly\""));
  EXPECT_THAT(ErrorFor("any echo"), HasSubstr("no \":\""));
  EXPECT_THAT(ErrorFor("   # only a comment"), HasSubstr("empty"));
  EXPECT_THAT(ErrorFor("any probe: echo"), HasSubstr("unexpected \"probe\""));
}

TEST(ParseRuleTest, ErrorsNameTheBadNumberOrByte) {
  EXPECT_THAT(ErrorFor("any: reply 1,256,3"),
              HasSubstr("\"256\" in \"1,256,3\" is not a byte"));
  EXPECT_THAT(ErrorFor("prefix 0xZZ: echo"), HasSubstr("\"0xZZ\" is not"));
  EXPECT_THAT(ErrorFor("any: reply 1,,2"), HasSubstr("\"\" in \"1,,2\""));
  EXPECT_THAT(ErrorFor("prefix: echo"), HasSubstr("\"prefix\" needs bytes"));
  EXPECT_THAT(ErrorFor("any: reply"), HasSubstr("\"reply\" needs bytes"));
  EXPECT_THAT(ErrorFor("any: echo after soon"),
              HasSubstr("\"after\" needs a number, found \"soon\""));
  EXPECT_THAT(ErrorFor("any: echo after"),
              HasSubstr("found the end of the rule"));
  EXPECT_THAT(ErrorFor("any: echo chunks 0 gap 5"),
              HasSubstr("\"chunks 0\": the number must be from 1"));
  EXPECT_THAT(ErrorFor("any: echo chunks 4 after 5"),
              HasSubstr("must be followed by \"gap MS\", found \"after\""));
  EXPECT_THAT(ErrorFor("any: echo times 0"), HasSubstr("\"times 0\""));
}

TEST(ParseRuleTest, RefusesModifiersThatClashOrDoNothing) {
  EXPECT_THAT(ErrorFor("any: echo after 1 after 2"),
              HasSubstr("\"after\" is given twice"));
  EXPECT_THAT(ErrorFor("any: echo once times 2"),
              HasSubstr("\"once\" and \"times\" cannot go together"));
  EXPECT_THAT(ErrorFor("any: silent truncate 3"),
              HasSubstr("\"truncate\" has nothing to send"));
  EXPECT_EQ(ParseRule("any: silent once").max_matches, 1);
}

TEST(ParseRuleScriptTest, SkipsCommentsAndNamesTheFailingLine) {
  const std::vector<Rule> rules = ParseRuleScript(
      "# the device wakes, then echoes\n\nprobe: reply 1,0,9 # wake\n"
      "  any: echo\r\n",
      "rules.txt");
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules[0].text, "probe: reply 1,0,9");
  EXPECT_EQ(rules[1].text, "any: echo");

  try {
    ParseRuleScript("any: echo\n\n# note\nany: ekho\n", "rules.txt");
    ADD_FAILURE() << "no error";
  } catch (const RuleError& error) {
    EXPECT_THAT(error.what(),
                AllOf(HasSubstr("rules.txt:4: "), HasSubstr("\"ekho\"")));
  }
}

class RuleSetTest : public ::testing::Test {
 protected:
  RuleSet Rules(const std::vector<std::string>& texts) {
    std::vector<Rule> rules;
    for (const std::string& text : texts) rules.push_back(ParseRule(text));
    return RuleSet(std::move(rules), probe_);
  }
  // The number of the rule that answers `message`, 0 for none.
  static std::size_t Answering(RuleSet& rules, const std::string& message) {
    const auto match = rules.Take(message);
    return match ? match->number : 0;
  }

  const std::string probe_ = BuildDevicePackets().probe;
  const std::string request_ = Bytes({3, 0, 9, 7, 8});
};

TEST_F(RuleSetTest, FirstMatchingRuleWins) {
  RuleSet rules = Rules(
      {"prefix 3,0,9: echo", "probe: empty", "request: echo", "any: silent"});
  EXPECT_EQ(Answering(rules, request_), 1u);
  EXPECT_EQ(Answering(rules, probe_), 2u);
  EXPECT_EQ(Answering(rules, Bytes({3, 0, 8, 7, 8})), 3u);
  // A probe cut short is not the probe.
  EXPECT_EQ(Answering(rules, probe_.substr(0, 17)), 3u);

  RuleSet narrow = Rules({"prefix 3,0,9: echo", "probe: empty"});
  EXPECT_EQ(Answering(narrow, Bytes({2, 0, 1, 2})), 0u);
  EXPECT_EQ(Answering(narrow, Bytes({3, 0})), 0u);  // shorter than the prefix
}

TEST_F(RuleSetTest, OnceAndTimesRetireTheRule) {
  RuleSet rules =
      Rules({"probe: empty once", "any: echo times 2", "any: silent"});
  auto first = rules.Take(probe_);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->number, 1u);
  EXPECT_TRUE(first->retired);

  auto second = rules.Take(probe_);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->number, 2u);
  EXPECT_FALSE(second->retired);
  auto third = rules.Take(request_);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->number, 2u);
  EXPECT_TRUE(third->retired);

  EXPECT_EQ(Answering(rules, probe_), 3u);
  EXPECT_EQ(Answering(rules, request_), 3u);
}

}  // namespace
}  // namespace zindo::tools

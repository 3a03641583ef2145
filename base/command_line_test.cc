#include "base/command_line.h"

#include <array>

#include "gtest/gtest.h"

namespace zindo {
namespace {

constexpr std::array<KnownOption, 4> kKnown{{
    {"--link", 'l', OptionValue::kRequired},
    {"--force", 0, OptionValue::kNone},
    {"--wait", 0, OptionValue::kOptional},
    {"--rule", 0, OptionValue::kRequired},
}};

// Options and operands as one string each, in order: "--link=/x", "op".
std::vector<std::string> Flatten(const std::vector<std::string>& arguments) {
  const CommandLine line = ParseCommandLine(arguments, kKnown);
  std::vector<std::string> words;
  for (const GivenOption& given : line.options) {
    words.push_back(given.name + (given.value ? "=" + *given.value : ""));
  }
  for (const std::string& operand : line.operands) words.push_back(operand);
  return words;
}

TEST(CommandLineTest, ReadsEveryFormAlike) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{}, {}},
      {{"--link", "/x"}, {"--link=/x"}},
      {{"--link=/x"}, {"--link=/x"}},
      {{"-l", "/x"}, {"--link=/x"}},
      {{"--link", "--force"}, {"--link=--force"}},  // a value, whatever it is
      {{"--link="}, {"--link="}},
      {{"out", "--force", "in"}, {"--force", "out", "in"}},
      {{"--wait", "5"}, {"--wait", "5"}},  // never takes the next word
      {{"--wait=5"}, {"--wait=5"}},
      {{"--rule", "a", "--rule", "b"}, {"--rule=a", "--rule=b"}},
      {{"-h"}, {"--help"}},
      {{"--version"}, {"--version"}},
      {{"-", "-1", "--", "--force"}, {"-", "-1", "--force"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Flatten(c.arguments), c.expected)
        << ::testing::PrintToString(c.arguments);
  }
}

TEST(CommandLineTest, RefusesWhatItCannotFollowInOneLine) {
  struct Case {
    std::vector<std::string> arguments;
    std::string complaint;
  };
  const Case cases[] = {
      {{"--lnk", "/x"}, "unknown option --lnk"},
      {{"-x"}, "unknown option -x"},
      {{"--link"}, "--link needs a value"},
      {{"--force=yes"}, "--force takes no value"},
      {{"--help=me"}, "--help takes no value"},
  };
  for (const Case& c : cases) {
    try {
      ParseCommandLine(c.arguments, kKnown);
      ADD_FAILURE() << "accepted " << ::testing::PrintToString(c.arguments);
    } catch (const CommandLineError& error) {
      EXPECT_EQ(error.what(), c.complaint);
    }
  }
}

}  // namespace
}  // namespace zindo

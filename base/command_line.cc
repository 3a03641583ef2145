#include "base/command_line.h"

#include <algorithm>
#include <array>

#include "base/version.h"

namespace zindo {
namespace {

constexpr std::array<KnownOption, 2> kEveryProgramsOptions{{
    {"--help", 'h', OptionValue::kNone},
    {"--version", 0, OptionValue::kNone},
}};

bool IsNegativeNumber(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && word[1] >= '0' && word[1] <= '9';
}

class Reader {
 public:
  Reader(const std::vector<std::string>& arguments,
         std::span<const KnownOption> known)
      : arguments_(arguments), known_(known) {}

  CommandLine Read() {
    bool options_ended = false;
    while (next_ < arguments_.size()) {
      const std::string& word = arguments_[next_++];
      if (options_ended || word == "-" || word[0] != '-' ||
          IsNegativeNumber(word)) {
        line_.operands.push_back(word);
      } else if (word == "--") {
        options_ended = true;
      } else {
        TakeOption(word);
      }
    }
    return line_;
  }

 private:
  const KnownOption* Find(std::string_view name) const {
    const auto matches = [&](const KnownOption& option) {
      return option.name == name ||
             (name.size() == 2 && option.short_name != 0 &&
              name[1] == option.short_name);
    };
    for (const auto* list : {&known_, &every_}) {
      const auto found = std::find_if(list->begin(), list->end(), matches);
      if (found != list->end()) return &*found;
    }
    return nullptr;
  }

  void TakeOption(const std::string& word) {
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const KnownOption* option = Find(name);
    if (option == nullptr) throw CommandLineError("unknown option " + name);
    GivenOption given{std::string(option->name), std::nullopt};
    if (equals != std::string::npos) {
      if (option->value == OptionValue::kNone) {
        throw CommandLineError(name + " takes no value");
      }
      given.value = word.substr(equals + 1);
    } else if (option->value == OptionValue::kRequired) {
      if (next_ >= arguments_.size()) {
        throw CommandLineError(name + " needs a value");
      }
      given.value = arguments_[next_++];
    }
    line_.options.push_back(std::move(given));
  }

  const std::vector<std::string>& arguments_;
  std::span<const KnownOption> known_;
  std::span<const KnownOption> every_{kEveryProgramsOptions};
  std::size_t next_ = 0;
  CommandLine line_;
};

}  // namespace

bool CommandLine::Has(std::string_view name) const {
  return std::any_of(
      options.begin(), options.end(),
      [&](const GivenOption& given) { return given.name == name; });
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::span<const KnownOption> known) {
  return Reader(arguments, known).Read();
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc)
                  : std::vector<std::string>();
}

// Who holds the copyright and on what terms: every program says so with
// its version, as the packages' LICENSE does in full.
constexpr char kLicenceLines[] =
    "Copyright 2026 the zindo-relay developers\n"
    "MIT licence, with no warranty: see LICENSE\n";

std::string VersionText(std::string_view program) {
  std::string text = std::string(program) + " " + kProjectVersion;
  if (*kSourceRevision != '\0') {
    text += std::string(" (git ") + kSourceRevision + ")";
  }
  return text + "\n" + kLicenceLines;
}

}  // namespace zindo

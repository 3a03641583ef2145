#ifndef ZINDO_BASE_COMMAND_LINE_H_
#define ZINDO_BASE_COMMAND_LINE_H_

// The one way the relay and its tools read their command lines, so that
// every program takes options alike: "--name VALUE" or "--name=VALUE", a
// short form such as "-h", options and operands in any order, and "--" to
// end the options. Every program answers --help and --version.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace zindo {

// A command line a program cannot follow; the message says why, in words a
// user can act on, for example "--link needs a value".
class CommandLineError : public Error {
 public:
  explicit CommandLineError(const std::string& message) : Error(message) {}
};

enum class OptionValue {
  kNone,      // a switch: "--force"
  kRequired,  // "--dir D" or "--dir=D"
  kOptional,  // "--wait" alone, or "--wait=S"; never the next argument
};

struct KnownOption {
  std::string_view name;  // with its dashes: "--link"
  char short_name = 0;    // 'h' for "-h"; 0 when there is none
  OptionValue value = OptionValue::kNone;
};

struct GivenOption {
  std::string name;  // the long name it is known by, whichever form was given
  std::optional<std::string> value;
};

struct CommandLine {
  std::vector<GivenOption> options;  // in the order given
  std::vector<std::string> operands;

  // Whether `name` (a long name) was given at least once.
  bool Has(std::string_view name) const;
};

// Reads the arguments after the program's name by `known`. --help (-h) and
// --version need not be listed: every program knows them. A word that
// starts with "-" is an option, except "-" itself and a negative number,
// which are operands. Throws CommandLineError for an unknown option, a
// missing value or a value given to a switch.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::span<const KnownOption> known);

// The arguments of main() after the program's name.
std::vector<std::string> ArgumentsOf(int argc, char** argv);

// What every program answers to --version: "zindo-relay 1.0.0", followed by
// " (git 315ddd3)" when it was built from a checkout (with "-modified" when
// the checkout had changes), and a line end; then the copyright and the
// licence, a line each.
std::string VersionText(std::string_view program);

}  // namespace zindo

#endif  // ZINDO_BASE_COMMAND_LINE_H_

#ifndef ZINDO_TOOLS_TOOL_SUPPORT_H_
#define ZINDO_TOOLS_TOOL_SUPPORT_H_

// Pieces shared by the tools: how they answer --help and --version and
// refuse a command line; and for those that play the device on the relay's
// line, the way they print bytes and times, how they stop, and how they
// hand a pseudo-terminal to the relay's user.

#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "base/command_line.h"
#include "platform/system/clock.h"
#include "platform/system/trace.h"

namespace zindo::tools {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Prints the help text (for --help) or the version (for --version) to
// standard output and returns kExitDone; nothing when neither was asked for.
std::optional<int> AnswerHelpOrVersion(const CommandLine& line,
                                       std::string_view program,
                                       std::string_view help);

// Says on standard error why the command line cannot be followed, in one
// line that points to --help, and returns kExitUsage.
int RefuseCommandLine(std::string_view program, std::string_view why);

// A tool's whole command-line handling: parses main()'s arguments by
// `known`, answers --help and --version, and turns the rest into the tool's
// options with `read`, which throws (CommandLineError, or any other
// std::exception) for what it refuses. Returns the options, or the exit
// status to end with.
template <typename Read>
auto ReadCommandLine(int argc, char** argv, std::span<const KnownOption> known,
                     std::string_view program, std::string_view help, Read read)
    -> std::variant<decltype(read(CommandLine{})), int> {
  try {
    const CommandLine line = ParseCommandLine(ArgumentsOf(argc, argv), known);
    if (const auto done = AnswerHelpOrVersion(line, program, help)) {
      return *done;
    }
    return read(line);
  } catch (const std::exception& refused) {
    return RefuseCommandLine(program, refused.what());
  }
}

// `text` as a whole number in `base`: digits only, with no sign, blank or
// prefix. Nothing when it is not one, or is too large for unsigned long.
std::optional<unsigned long> ParseNumber(std::string_view text, int base = 10);

// A byte as the tools take it, on a command line or in a rule: in decimal
// (0 to 255), or in hex after 0x or 0X; leading zeros are allowed.
struct ParsedByte {
  enum class Fault {
    kNone,
    kNotANumber,  // no digits, or other characters among them
    kTooLarge,    // a number, but more than 255
  };
  Fault fault = Fault::kNotANumber;
  uint8_t value = 0;  // for kNone
};
ParsedByte ParseByteText(std::string_view text);

// Puts the line at `fd` in the device's own settings (19200 8N1, raw). On a
// pseudo-terminal master this sets the slave side, so that even a program
// that opens it without setting it up passes its bytes unchanged: no line
// end is translated and nothing is echoed. `name` is for the error.
void MakeLineRaw(int fd, const std::string& name);

// The local time of day with milliseconds, e.g. "14:03:27.512", as the
// relay's own trace shows it.
using ::zindo::LocalTimeOfDay;

// `bytes` in hex, then in decimal: "0x10 0x00 0x81   16   0 129". Every
// decimal is three wide so that lines of equal length line up.
std::string HexAndDecimal(std::string_view bytes);

// The user and group named by an --owner UID:GID argument.
struct Owner {
  uid_t uid = 0;
  gid_t gid = 0;
};

// Parses "UID:GID" (two decimal numbers); nothing when malformed.
std::optional<Owner> ParseOwner(std::string_view text);

// The value of an --owner option. Throws CommandLineError when malformed.
Owner OwnerOption(const std::string& value);

// SIGINT and SIGTERM turned into a flag. The signals stay blocked except
// while the tool waits in ppoll with wait_mask(), so one that arrives
// between two looks at the flag is not lost: it interrupts the next wait.
// (The relay's StopSignals leave the signals unblocked, for the programs it
// starts, and wake its waits through a descriptor instead.)
class BlockedStopSignals {
 public:
  // Installs the handlers and blocks the signals. One per process.
  BlockedStopSignals();

  bool requested() const;
  const sigset_t& wait_mask() const { return wait_mask_; }

 private:
  sigset_t wait_mask_;
};

// Whether a program has the slave side of a pseudo-terminal open, as seen
// from the master: the master reports a hang-up while no one has it open,
// from its creation on.
class SlavePresence {
 public:
  // Takes the latest poll result; true when the port was opened or closed
  // since the last call.
  bool Changed(bool hung_up);
  bool open() const { return open_; }
  // "port opened" or "port closed".
  const char* Describe() const;

 private:
  bool open_ = false;
};

// Tells when a program opens the file at `path`. A pseudo-terminal master
// cannot: it reports a hang-up without pause for as long as the slave is
// closed, so a tool can only sleep on it by the tick and would notice an
// open late. Watching the slave's device file with inotify ends the wait
// the moment the relay opens the port.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path);
  ~OpenWatch();

  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // False when the system would not watch the file: callers then fall back
  // to looking by the tick.
  bool ok() const { return fd_ >= 0; }
  // Readable when an open has been seen since the last Drain.
  int fd() const { return fd_; }
  // Forgets the opens seen so far.
  void Drain() const;

 private:
  int fd_;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_TOOL_SUPPORT_H_

#ifndef ZINDO_TOOLS_REQUEST_TOOL_H_
#define ZINDO_TOOLS_REQUEST_TOOL_H_

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/error.h"
#include "exchange/response_file.h"

// The parts of zindo-request, the companion's side of the exchange on the
// command line: what its arguments mean, how it leaves a request file, and
// how it reads what the relay answers.
namespace zindo::tools {

// A command line that zindo-request cannot follow; the message says why.
using UsageError = ::zindo::CommandLineError;

// A response file that holds no reply line; the message says what is wrong.
using MalformedResponse = ::zindo::MalformedResponse;

// A request file is already waiting for the relay and may not be replaced.
class RequestWaiting : public Error {
 public:
  explicit RequestWaiting(const std::string& message) : Error(message) {}
};

// The relay did not do what was waited for in time.
class WaitTimedOut : public Error {
 public:
  explicit WaitTimedOut(const std::string& message) : Error(message) {}
};

// What zindo-request is asked to do: leave a request (a device message, a
// file's whole content, or the quit request), or tell what a file decodes to.
enum class Task { kSend, kSendRaw, kQuit, kDecode };

inline constexpr double kDefaultWaitSeconds = 10;

struct RequestOptions {
  Task task = Task::kSend;
  std::string directory = ".";
  // The device message for kSend, the file's whole content for kSendRaw.
  std::string bytes;
  std::string decode_path;
  bool force = false;
  std::optional<double> wait_seconds;
};

// The help text, ending with a line end.
std::string UsageText();

// The options zindo-request knows besides --help and --version, to read its
// command line by.
std::span<const KnownOption> RequestToolOptions();

// One byte given in decimal (0 to 255) or in hex after 0x. Throws
// UsageError.
uint8_t ParseByte(const std::string& text);

// What the command line read by RequestToolOptions() asks for, once --help
// and --version have been answered. Throws UsageError.
RequestOptions ReadRequestOptions(const CommandLine& line);

// The bytes in decimal, separated by commas: "17,0,129".
std::string DecimalList(const std::string& bytes);

// The names in `directory` equal to `name` without regard to ASCII case,
// sorted. Throws Error naming the directory when it cannot be read.
std::vector<std::string> NamesMatching(const std::string& directory,
                                       const std::string& name);

// How a file looked at one moment, to tell whether it has been written
// since. A rewrite that keeps the same content, size and times is not seen.
struct FileState {
  std::string stored_name;  // "" when there is no such file.
  off_t size = 0;
  long long modified_ns = 0;  // since the epoch
  long long changed_ns = 0;
  std::string content;

  bool present() const { return !stored_name.empty(); }
  friend bool operator==(const FileState&, const FileState&) = default;
};

// The file in `directory` that the relay would use for `name`: the one
// stored exactly so, else the least of those matching without regard to
// case. Throws Error naming the file when it cannot be read.
FileState ReadFileState(const std::string& directory, const std::string& name);

// Leaves `content` as the request file in `directory`, as the companion
// does: written under a name of its own and renamed into place, so that the
// relay never sees it half written. A request file already there under any
// case of its name has not been taken by the relay yet; it is replaced only
// when `force` is set, and otherwise RequestWaiting is thrown. Throws Error
// naming the file and the system's error text on any other failure.
void WriteRequestFile(const std::string& directory, const std::string& content,
                      bool force);

// Waits until the relay has taken the request file from `directory` and the
// response file has changed from `before`, and returns the reply it holds.
// Gives up after `limit_seconds`. Throws WaitTimedOut, MalformedResponse or
// Error.
std::string WaitForReply(const std::string& directory, const FileState& before,
                         double limit_seconds);

// Waits until the relay has taken the request file from `directory` and the
// status file, changed from `before`, says the relay has stopped. Throws
// WaitTimedOut or Error, after `limit_seconds`.
void WaitForStop(const std::string& directory, const FileState& before,
                 double limit_seconds);

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_REQUEST_TOOL_H_

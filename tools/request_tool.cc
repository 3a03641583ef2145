#include "tools/request_tool.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "base/directory_monitor.h"
#include "exchange/file_names.h"
#include "exchange/response_file.h"
#include "platform/descriptor-posix.h"
#include "platform/files/directory_source-posix.h"
#include "platform/files/file_system-posix.h"
#include "platform/system/clock-posix.h"
#include "tools/tool_support.h"

namespace zindo::tools {

namespace {

using ::zindo::CommandLine;
using ::zindo::GivenOption;
using ::zindo::KnownOption;
using ::zindo::OptionValue;

constexpr double kLongestWaitSeconds = 24 * 60 * 60;
constexpr char kStoppedStatus[] = "0,0\r\n";

// ---- The command line ----

double ParseSeconds(const std::string& text) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
      seconds > kLongestWaitSeconds) {
    throw UsageError("--wait=" + text +
                     ": give the seconds to wait, more than 0 and at most " +
                     std::to_string(static_cast<int>(kLongestWaitSeconds)));
  }
  return seconds;
}

constexpr std::array<KnownOption, 6> kOptions{{
    {"--dir", 0, OptionValue::kRequired},
    {"--decode", 0, OptionValue::kRequired},
    {"--raw", 0, OptionValue::kNone},
    {"--quit", 0, OptionValue::kNone},
    {"--force", 0, OptionValue::kNone},
    {"--wait", 0, OptionValue::kOptional},
}};

// Turns the options, in the order given, and the bytes into what to do.
class ArgumentReader {
 public:
  RequestOptions Read(const CommandLine& line) {
    for (const GivenOption& given : line.options) Take(given);
    for (const std::string& byte : line.operands) {
      options_.bytes += static_cast<char>(ParseByte(byte));
    }
    return Checked();
  }

 private:
  void Take(const GivenOption& given) {
    const std::string& name = given.name;
    if (name == "--dir") {
      options_.directory = *given.value;
      directory_given_ = true;
    } else if (name == "--decode") {
      SetTask(Task::kDecode, name);
      options_.decode_path = *given.value;
    } else if (name == "--raw") {
      SetTask(Task::kSendRaw, name);
    } else if (name == "--quit") {
      SetTask(Task::kQuit, name);
    } else if (name == "--force") {
      options_.force = true;
    } else if (name == "--wait") {
      options_.wait_seconds =
          given.value ? ParseSeconds(*given.value) : kDefaultWaitSeconds;
    }
  }

  void SetTask(Task task, const std::string& option);
  RequestOptions Checked();

  RequestOptions options_;
  std::string task_option_;
  bool directory_given_ = false;
};

void ArgumentReader::SetTask(Task task, const std::string& option) {
  if (!task_option_.empty() && task_option_ != option) {
    throw UsageError(task_option_ + " and " + option +
                     " cannot be given together");
  }
  task_option_ = option;
  options_.task = task;
}

RequestOptions ArgumentReader::Checked() {
  const bool has_bytes = !options_.bytes.empty();
  switch (options_.task) {
    case Task::kSend:
      if (!has_bytes) throw UsageError("no bytes given");
      break;
    case Task::kQuit:
      if (has_bytes) throw UsageError("--quit takes no bytes");
      break;
    case Task::kDecode:
      if (has_bytes || directory_given_ || options_.force ||
          options_.wait_seconds.has_value()) {
        throw UsageError("--decode takes only the file to decode");
      }
      break;
    default:
      break;
  }
  if (options_.directory.empty()) throw UsageError("--dir needs a directory");
  return options_;
}

// ---- Files ----

std::string PathIn(const std::string& directory, const std::string& name) {
  return directory + "/" + name;
}

// Names are looked up as the relay looks them up: the listings are kept
// current from inotify's reports, and a name stored exactly as asked wins
// over other cases of it.
const std::shared_ptr<DirectoryMonitor>& Directories() {
  static const auto monitor = std::make_shared<DirectoryMonitor>(
      std::make_unique<InotifyDirectorySource>(/*poll_only=*/false, nullptr));
  return monitor;
}

// The files in `directory` as the relay's own file system handles them:
// found without regard to case, and rewritten whole, so that the relay never
// sees a request half written.
PosixFileSystem FilesIn(const std::string& directory) {
  return PosixFileSystem(/*prefix=*/"", directory, Directories());
}

// Tells a directory that cannot be read from one where a name is missing.
void CheckReadable(const std::string& directory) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.c_str()),
                                              &closedir);
  if (!listing) throw SystemError("open directory " + directory, errno);
}

// The rest of the open file at `path`.
std::string ContentOf(const UniqueFd& file, const std::string& path) {
  std::string content;
  if (const int error = ReadAll(file.get(), content)) {
    throw SystemError("read " + path, error);
  }
  return content;
}

// Deletes the file `name`, unless the relay has taken it meanwhile.
void RemoveIfPresent(FileSystem& files, const std::string& name) {
  try {
    files.DeleteFile(name);
  } catch (const Error& failure) {
    if (!failure.Is(ErrorKind::kNotFound)) throw;
  }
}

// A file time from stat, in nanoseconds since the epoch.
template <typename FileTime>
long long Nanoseconds(const FileTime& time) {
  return time.tv_sec * 1'000'000'000LL + time.tv_nsec;
}

// ---- Waiting for the relay ----

// Seconds between looks at the files.
constexpr double kPollIntervalSeconds = 0.02;

// Calls `done` until it returns true, or until `deadline` has passed, after
// one last call. Returns whether `done` returned true.
template <typename Done>
bool PollUntil(double deadline, const Done& done) {
  for (;;) {
    if (done()) return true;
    if (MonotonicNow() >= deadline) return false;
    // A signal that cuts the pause short only brings the next look forward.
    const timespec pause = ToTimespec(kPollIntervalSeconds, Rounding::kDown);
    ::nanosleep(&pause, nullptr);
  }
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

void WaitUntilTaken(const std::string& directory, double deadline,
                    double limit_seconds) {
  const bool taken = PollUntil(deadline, [&] {
    return NamesMatching(directory, kRequestCreateName).empty();
  });
  if (!taken) {
    throw WaitTimedOut("the relay has not taken " +
                       PathIn(directory, kRequestCreateName) + " within " +
                       Seconds(limit_seconds) +
                       ": is it running in that directory?");
  }
}

}  // namespace

std::string UsageText() {
  return R"(usage: zindo-request [--dir DIR] [--force] [--wait[=SECONDS]] BYTE...
       zindo-request [--dir DIR] [--force] [--wait[=SECONDS]] --raw [BYTE...]
       zindo-request [--dir DIR] [--force] [--wait[=SECONDS]] --quit
       zindo-request --decode FILE
       zindo-request --help | --version

Leaves a request for zindo-relay in the companion's working directory, as
the companion does: written aside, then renamed to ZINDOK1.TXT.

  BYTE...           the device message, each byte in decimal (0 to 255) or
                    in hex after 0x. A message is 2 to 159 bytes long and
                    starts with its header: its length less 2, then 0. It is
                    written in the relay's run-length code, as short as the
                    code allows. 1 0 0 is the quit request: use --quit.
  --dir DIR         the companion's working directory (default: the current
                    directory)
  --raw             write the bytes as the request file's whole content,
                    unencoded, to try out files the relay must refuse (a
                    request it cannot decode ends the relay)
  --quit            write the quit request: 1, 0, 0, then CR LF
  --force           replace a request file that the relay has not taken yet
  --wait[=SECONDS]  wait up to SECONDS (10 when not given) for the relay to
                    take the request, then for zindoK2.txt to change, and
                    print the reply it holds in decimal: 17,0,129. With
                    --quit, wait until zindoK.inf says 0,0 instead.
  --decode FILE     print the message that request file FILE makes the relay
                    send, in decimal, or why the relay would refuse it
  --help            print this text
  --version         print the version

Exit status: 0 done; 1 refused, failed or timed out; 2 wrong usage.
)";
}

std::span<const KnownOption> RequestToolOptions() { return kOptions; }

uint8_t ParseByte(const std::string& text) {
  const ParsedByte parsed = ParseByteText(text);
  switch (parsed.fault) {
    case ParsedByte::Fault::kNone:
      return parsed.value;
    case ParsedByte::Fault::kTooLarge:
      throw UsageError(text + " is more than a byte (255)");
    default:
      throw UsageError("\"" + text +
                       "\" is not a byte: give 0 to 255, or 0x00 to 0xff");
  }
}

RequestOptions ReadRequestOptions(const CommandLine& line) {
  return ArgumentReader().Read(line);
}

std::string DecimalList(const std::string& bytes) {
  std::string text;
  for (char byte : bytes) {
    if (!text.empty()) text += ',';
    text += std::to_string(static_cast<unsigned char>(byte));
  }
  return text;
}

std::vector<std::string> NamesMatching(const std::string& directory,
                                       const std::string& name) {
  std::vector<std::string> names = Directories()->FindAll(directory, name);
  if (names.empty()) CheckReadable(directory);
  return names;
}

FileState ReadFileState(const std::string& directory, const std::string& name) {
  FileState state;
  const std::string stored = Directories()->Find(directory, name);
  if (stored.empty()) {
    CheckReadable(directory);
    return state;
  }
  const std::string path = PathIn(directory, stored);
  const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid() && errno == ENOENT) return state;  // gone since listed
  if (!file.valid()) throw SystemError("open " + path, errno);
  struct stat status {};
  if (fstat(file.get(), &status) != 0) throw SystemError("stat " + path, errno);
  state.stored_name = stored;
  state.size = status.st_size;
  state.modified_ns = Nanoseconds(status.st_mtim);
  state.changed_ns = Nanoseconds(status.st_ctim);
  state.content = ContentOf(file, path);
  return state;
}

void WriteRequestFile(const std::string& directory, const std::string& content,
                      bool force) {
  const std::vector<std::string> waiting =
      NamesMatching(directory, kRequestCreateName);
  if (!waiting.empty() && !force) {
    throw RequestWaiting(PathIn(directory, waiting.front()) +
                         " has not been taken by the relay yet");
  }
  PosixFileSystem files = FilesIn(directory);
  // A second name that matches would be a second request file, and which
  // of the two the relay read would depend on its look-up. Once the others
  // are gone, the request is stored under its own name exactly.
  for (const std::string& name : waiting) {
    if (name != kRequestCreateName) RemoveIfPresent(files, name);
  }
  files.WriteFile(kRequestCreateName, content);
}

std::string WaitForReply(const std::string& directory, const FileState& before,
                         double limit_seconds) {
  const double deadline = MonotonicNow() + limit_seconds;
  WaitUntilTaken(directory, deadline, limit_seconds);
  FileState now;
  std::optional<std::string> reply;
  const bool replied = PollUntil(deadline, [&] {
    now = ReadFileState(directory, kResponseFileName);
    if (now == before || !now.present()) return false;
    try {
      reply = ParseResponse(now.content);
    } catch (const MalformedResponse& malformed) {
      throw MalformedResponse(PathIn(directory, now.stored_name) + ": " +
                              malformed.what());
    }
    return reply.has_value();
  });
  if (replied) return *reply;
  if (now.present() && now != before) {
    throw MalformedResponse(PathIn(directory, now.stored_name) +
                            ": the reply line is still unfinished after " +
                            Seconds(limit_seconds) + ": \"" +
                            PrintableText(now.content) + "\"");
  }
  throw WaitTimedOut("the relay took the request, but no reply came in " +
                     PathIn(directory, kResponseFileName) + " within " +
                     Seconds(limit_seconds));
}

void WaitForStop(const std::string& directory, const FileState& before,
                 double limit_seconds) {
  const double deadline = MonotonicNow() + limit_seconds;
  WaitUntilTaken(directory, deadline, limit_seconds);
  FileState now;
  const bool stopped = PollUntil(deadline, [&] {
    now = ReadFileState(directory, kStatusFileName);
    return now != before && now.content == kStoppedStatus;
  });
  if (!stopped) {
    throw WaitTimedOut(
        "the relay took the quit request, but " +
        PathIn(directory, kStatusFileName) + " does not say 0,0 within " +
        Seconds(limit_seconds) +
        (now.present() ? " (it holds \"" + PrintableText(now.content) + "\")"
                       : " (it is missing)"));
  }
}

}  // namespace zindo::tools

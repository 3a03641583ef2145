#include "tools/request_tool.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>

#include "base/directory_monitor.h"
#include "exchange/file_names.h"
#include "exchange/response_file.h"
#include "platform/directory_source-posix.h"
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
DirectoryMonitor& Directories() {
  static DirectoryMonitor monitor(
      std::make_unique<InotifyDirectorySource>(/*poll_only=*/false, nullptr));
  return monitor;
}

// Tells a directory that cannot be read from one where a name is missing.
void CheckReadable(const std::string& directory) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.c_str()),
                                              &closedir);
  if (!listing) throw SystemError("open directory " + directory, errno);
}

// Closes a descriptor when it goes out of scope, for the paths that throw.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  // Closes now, reporting the failure that a deferred write can show here.
  int Close() { return close(std::exchange(fd, -1)); }
};

std::string ReadAll(int fd, const std::string& path) {
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count == 0) return content;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw SystemError("read " + path, errno);
    content.append(buffer, static_cast<std::size_t>(count));
  }
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count =
        write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw SystemError("write " + path, errno);
    written += static_cast<std::size_t>(count);
  }
}

// Creates a file of its own in `directory` holding `content`, and returns
// its path. Its name matches no name the relay or the companion looks for.
std::string WriteAside(const std::string& directory,
                       const std::string& content) {
  for (int attempt = 0;; ++attempt) {
    const std::string path =
        PathIn(directory, "zindo-request-" + std::to_string(getpid()) + "-" +
                              std::to_string(attempt) + ".tmp");
    Descriptor file{open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666)};
    if (file.fd < 0 && errno == EEXIST && attempt < 100) continue;
    if (file.fd < 0) throw SystemError("create " + path, errno);
    try {
      WriteAll(file.fd, content, path);
      if (file.Close() != 0) throw SystemError("write " + path, errno);
    } catch (...) {
      unlink(path.c_str());
      throw;
    }
    return path;
  }
}

void RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw SystemError("remove " + path, errno);
  }
}

// A file time from stat, in nanoseconds since the epoch.
template <typename FileTime>
long long Nanoseconds(const FileTime& time) {
  return time.tv_sec * 1'000'000'000LL + time.tv_nsec;
}

// ---- Waiting for the relay ----

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// Calls `done` until it returns true, or until `deadline` has passed, after
// one last call. Returns whether `done` returned true.
template <typename Done>
bool PollUntil(Clock::time_point deadline, const Done& done) {
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::string Seconds(std::chrono::milliseconds limit) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", limit.count() / 1000.0);
  return text;
}

void WaitUntilTaken(const std::string& directory, Clock::time_point deadline,
                    std::chrono::milliseconds limit) {
  const bool taken = PollUntil(deadline, [&] {
    return NamesMatching(directory, kRequestCreateName).empty();
  });
  if (!taken) {
    throw WaitTimedOut("the relay has not taken " +
                       PathIn(directory, kRequestCreateName) + " within " +
                       Seconds(limit) + ": is it running in that directory?");
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
  std::vector<std::string> names = Directories().FindAll(directory, name);
  if (names.empty()) CheckReadable(directory);
  return names;
}

FileState ReadFileState(const std::string& directory, const std::string& name) {
  FileState state;
  const std::string stored = Directories().Find(directory, name);
  if (stored.empty()) {
    CheckReadable(directory);
    return state;
  }
  const std::string path = PathIn(directory, stored);
  Descriptor file{open(path.c_str(), O_RDONLY)};
  if (file.fd < 0 && errno == ENOENT) return state;  // gone since listed
  if (file.fd < 0) throw SystemError("open " + path, errno);
  struct stat status {};
  if (fstat(file.fd, &status) != 0) throw SystemError("stat " + path, errno);
  state.stored_name = stored;
  state.size = status.st_size;
  state.modified_ns = Nanoseconds(status.st_mtim);
  state.changed_ns = Nanoseconds(status.st_ctim);
  state.content = ReadAll(file.fd, path);
  return state;
}

std::string ReadWholeFile(const std::string& path) {
  Descriptor file{open(path.c_str(), O_RDONLY)};
  if (file.fd < 0) throw SystemError("open " + path, errno);
  return ReadAll(file.fd, path);
}

void WriteRequestFile(const std::string& directory, const std::string& content,
                      bool force) {
  const std::vector<std::string> waiting =
      NamesMatching(directory, kRequestCreateName);
  if (!waiting.empty() && !force) {
    throw RequestWaiting(PathIn(directory, waiting.front()) +
                         " has not been taken by the relay yet");
  }
  const std::string aside = WriteAside(directory, content);
  const std::string target = PathIn(directory, kRequestCreateName);
  try {
    // A second name that matches would be a second request file, and which
    // of the two the relay read would depend on its look-up.
    for (const std::string& name : waiting) {
      if (name != kRequestCreateName) RemoveFile(PathIn(directory, name));
    }
    if (rename(aside.c_str(), target.c_str()) != 0) {
      throw SystemError("rename " + aside + " to " + target, errno);
    }
  } catch (...) {
    unlink(aside.c_str());
    throw;
  }
}

std::string WaitForReply(const std::string& directory, const FileState& before,
                         std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  WaitUntilTaken(directory, deadline, limit);
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
                            Seconds(limit) + ": \"" +
                            PrintableText(now.content) + "\"");
  }
  throw WaitTimedOut("the relay took the request, but no reply came in " +
                     PathIn(directory, kResponseFileName) + " within " +
                     Seconds(limit));
}

void WaitForStop(const std::string& directory, const FileState& before,
                 std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  WaitUntilTaken(directory, deadline, limit);
  FileState now;
  const bool stopped = PollUntil(deadline, [&] {
    now = ReadFileState(directory, kStatusFileName);
    return now != before && now.content == kStoppedStatus;
  });
  if (!stopped) {
    throw WaitTimedOut(
        "the relay took the quit request, but " +
        PathIn(directory, kStatusFileName) + " does not say 0,0 within " +
        Seconds(limit) +
        (now.present() ? " (it holds \"" + PrintableText(now.content) + "\")"
                       : " (it is missing)"));
  }
}

}  // namespace zindo::tools

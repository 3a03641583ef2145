#include "tools/tool_support.h"

#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/error.h"
#include "platform/serial/serial_device-posix.h"

namespace zindo::tools {
namespace {

volatile sig_atomic_t stop_requested = 0;

void OnStopSignal(int) { stop_requested = 1; }

// A user or group number: a decimal that fits the system's 32-bit ids.
std::optional<uint32_t> ParseId(std::string_view text) {
  const std::optional<unsigned long> value = ParseNumber(text);
  if (!value || *value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

}  // namespace

std::optional<unsigned long> ParseNumber(std::string_view text, int base) {
  unsigned long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

ParsedByte ParseByteText(std::string_view text) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  const std::string_view digits = hex ? text.substr(2) : text;
  unsigned long value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] =
      std::from_chars(digits.data(), end, value, hex ? 16 : 10);
  using Fault = ParsedByte::Fault;
  if (digits.empty() || stop != end || error == std::errc::invalid_argument) {
    return {Fault::kNotANumber, 0};
  }
  if (error == std::errc::result_out_of_range || value > 255) {
    return {Fault::kTooLarge, 0};
  }
  return {Fault::kNone, static_cast<uint8_t>(value)};
}

std::optional<int> AnswerHelpOrVersion(const CommandLine& line,
                                       std::string_view program,
                                       std::string_view help) {
  if (line.Has("--help")) {
    std::fwrite(help.data(), 1, help.size(), stdout);
  } else if (line.Has("--version")) {
    std::fputs(VersionText(program).c_str(), stdout);
  } else {
    return std::nullopt;
  }
  return kExitDone;
}

int RefuseCommandLine(std::string_view program, std::string_view why) {
  const std::string name(program);
  std::fprintf(stderr, "%s: %.*s (%s --help tells more)\n", name.c_str(),
               static_cast<int>(why.size()), why.data(), name.c_str());
  return kExitUsage;
}

void MakeLineRaw(int fd, const std::string& name) {
  termios line{};
  if (tcgetattr(fd, &line) != 0) throw SystemError("tcgetattr " + name, errno);
  MakeRawLine(LineSettings{}, line);
  if (tcsetattr(fd, TCSANOW, &line) != 0) {
    throw SystemError("tcsetattr " + name, errno);
  }
}

std::string HexAndDecimal(std::string_view bytes) {
  std::string hex;
  std::string decimal;
  char text[8];
  for (const char byte : bytes) {
    const unsigned value = static_cast<unsigned char>(byte);
    std::snprintf(text, sizeof text, "0x%02X", value);
    hex += (hex.empty() ? "" : " ") + std::string(text);
    std::snprintf(text, sizeof text, "%3u", value);
    decimal += (decimal.empty() ? "" : " ") + std::string(text);
  }
  return hex + "  " + decimal;
}

std::optional<Owner> ParseOwner(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto uid = ParseId(text.substr(0, colon));
  const auto gid = ParseId(text.substr(colon + 1));
  if (!uid || !gid) return std::nullopt;
  return Owner{static_cast<uid_t>(*uid), static_cast<gid_t>(*gid)};
}

Owner OwnerOption(const std::string& value) {
  const std::optional<Owner> owner = ParseOwner(value);
  if (!owner) throw CommandLineError("--owner wants UID:GID, not " + value);
  return *owner;
}

BlockedStopSignals::BlockedStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, &wait_mask_);
  sigdelset(&wait_mask_, SIGINT);
  sigdelset(&wait_mask_, SIGTERM);
}

bool BlockedStopSignals::requested() const { return stop_requested != 0; }

bool SlavePresence::Changed(bool hung_up) {
  if (hung_up != open_) return false;
  open_ = !hung_up;
  return true;
}

const char* SlavePresence::Describe() const {
  return open_ ? "port opened" : "port closed";
}

OpenWatch::OpenWatch(const std::string& path)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (fd_ >= 0 && inotify_add_watch(fd_, path.c_str(), IN_OPEN) < 0) {
    close(fd_);
    fd_ = -1;
  }
}

OpenWatch::~OpenWatch() {
  if (fd_ >= 0) close(fd_);
}

void OpenWatch::Drain() const {
  char events[1024];
  while (fd_ >= 0 && read(fd_, events, sizeof events) > 0) {
  }
}

}  // namespace zindo::tools

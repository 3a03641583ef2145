// zindo-devsim: plays the device at the far end of the relay's serial line.
// It logs every message the relay sends, cut by the length byte, and
// answers by the first rule the message matches, with the timing the rule
// asks for: a delay, a reply in chunks with gaps, a reply cut short, an
// empty frame, or nothing at all. See Usage() for the command line.

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "link/device_message.h"
#include "platform/serial/serial_device-posix.h"
#include "tools/devsim/log.h"
#include "tools/devsim/player.h"
#include "tools/devsim/rules.h"
#include "tools/pseudo_terminal.h"
#include "tools/tool_support.h"

namespace {

constexpr char kProgram[] = "zindo-devsim";

constexpr char kHelp[] =
    "usage: zindo-devsim (--link PATH [--owner UID:GID] [--force] |\n"
    "                     --port DEVICE | --listen [HOST:]PORT)\n"
    "                    [--log FILE] [--rule RULE]... [--script FILE]\n"
    "\n"
    "Plays the device on the relay's serial line (19200 8N1): logs every\n"
    "message the relay sends and answers it by the first rule it matches.\n"
    "\n"
    "  --link PATH      create a pseudo-terminal and point PATH at it,\n"
    "                   e.g. $ZINDO_PREFIX/dosdevices/com1\n"
    "  --owner UID:GID  hand the pseudo-terminal to that user and group\n"
    "  --force          replace PATH even when it is a file or a link to\n"
    "                   something other than a pseudo-terminal\n"
    "  --port DEVICE    use that serial device instead (raw, 19200 8N1)\n"
    "  --listen [HOST:]PORT\n"
    "                   take TCP connections on PORT instead, one at a time,\n"
    "                   bytes as they are (for a tcp:// port); HOST is\n"
    "                   127.0.0.1 unless given; PORT 0 takes a free one\n"
    "  --log FILE       append the log to FILE, not to standard output\n"
    "  --rule RULE      add a rule; rules are tried in the order given\n"
    "  --script FILE    add the rules in FILE, one a line, # comments\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "A rule:   TRIGGER: ACTION [MODIFIER...]\n"
    "  TRIGGER   any | probe | request | prefix B,B,...\n"
    "  ACTION    reply B,B,... | echo | empty | silent\n"
    "  MODIFIER  after MS | chunks N gap MS | truncate N | once | times K\n"
    "Bytes are decimal or 0x hex. A message no rule matches gets no answer;\n"
    "a rule with once or times K retires after its first or K-th match.\n"
    "\n"
    "  zindo-devsim --link /tmp/dev/com1 --rule 'probe: reply 3,0,1,2,3' \\\n"
    "      --rule 'request: echo after 100 chunks 4 gap 400'\n";

constexpr std::array<zindo::KnownOption, 8> kOptions{{
    {"--link", 0, zindo::OptionValue::kRequired},
    {"--owner", 0, zindo::OptionValue::kRequired},
    {"--force", 0, zindo::OptionValue::kNone},
    {"--port", 0, zindo::OptionValue::kRequired},
    {"--listen", 0, zindo::OptionValue::kRequired},
    {"--log", 0, zindo::OptionValue::kRequired},
    {"--rule", 0, zindo::OptionValue::kRequired},
    {"--script", 0, zindo::OptionValue::kRequired},
}};

struct Options {
  std::string link;
  std::optional<zindo::tools::Owner> owner;
  bool force = false;
  std::string port;
  std::string listen;
  std::string log;
  std::vector<zindo::tools::Rule> rules;
};

std::string ReadScript(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file) {
    throw zindo::CommandLineError("cannot read the script " + path + ": " +
                                  std::strerror(errno));
  }
  return text.str();
}

void AddScript(const std::string& path, Options& options) {
  for (auto& rule : zindo::tools::ParseRuleScript(ReadScript(path), path)) {
    options.rules.push_back(std::move(rule));
  }
}

void TakeOption(const zindo::GivenOption& given, Options& options) {
  const std::string& name = given.name;
  const std::string value = given.value.value_or("");
  if (name == "--link") {
    options.link = value;
  } else if (name == "--owner") {
    options.owner = zindo::tools::OwnerOption(value);
  } else if (name == "--force") {
    options.force = true;
  } else if (name == "--port") {
    options.port = value;
  } else if (name == "--listen") {
    options.listen = value;
  } else if (name == "--log") {
    options.log = value;
  } else if (name == "--rule") {
    options.rules.push_back(zindo::tools::ParseRule(value));
  } else if (name == "--script") {
    AddScript(value, options);
  }
}

// Rules are kept in the order given, --rule and --script alike. Throws
// CommandLineError, or RuleError for a rule that does not read.
Options OptionsFrom(const zindo::CommandLine& line) {
  Options options;
  for (const zindo::GivenOption& given : line.options) {
    TakeOption(given, options);
  }
  if (!line.operands.empty()) {
    throw zindo::CommandLineError("unexpected argument " +
                                  line.operands.front() +
                                  "; a rule goes after --rule, in quotes");
  }
  const int lines =
      !options.link.empty() + !options.port.empty() + !options.listen.empty();
  if (lines != 1) {
    throw zindo::CommandLineError("give one of --link, --port and --listen");
  }
  if ((options.owner || options.force) && options.link.empty()) {
    throw zindo::CommandLineError("--owner and --force go with --link");
  }
  return options;
}

}  // namespace

namespace {

void SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "fcntl");
  }
}

void PlayOnPseudoTerminal(const Options& options, zindo::tools::RuleSet rules,
                          zindo::tools::EventLog& log,
                          const zindo::tools::BlockedStopSignals& stop) {
  zindo::tools::PseudoTerminal terminal;
  if (options.owner) {
    terminal.HandSlaveTo(options.owner->uid, options.owner->gid);
  }
  zindo::tools::MakeLineRaw(terminal.master_fd(), terminal.slave_path());
  SetNonBlocking(terminal.master_fd());
  zindo::tools::PointLinkAt(
      options.link, terminal.slave_path(),
      options.force ? zindo::tools::Replace::kAnything
                    : zindo::tools::Replace::kOnlyPseudoTerminalLinks);
  const zindo::tools::LinkRemover remover(options.link, terminal.slave_path());
  std::printf("zindo-devsim: %s -> %s\n", options.link.c_str(),
              terminal.slave_path().c_str());
  std::fflush(stdout);
  zindo::tools::DevicePlayer(terminal.master_fd(), terminal.slave_path(),
                             std::move(rules), log)
      .Run(stop);
}

void PlayOnPort(const Options& options, zindo::tools::RuleSet rules,
                zindo::tools::EventLog& log,
                const zindo::tools::BlockedStopSignals& stop) {
  const int fd =
      open(options.port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(),
                            "open " + options.port);
  }
  try {
    zindo::tools::MakeLineRaw(fd, options.port);
    zindo::tools::DevicePlayer(fd, std::nullopt, std::move(rules), log)
        .Run(stop);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

constexpr int kOn = 1;

// A socket listening on "[HOST:]PORT", HOST 127.0.0.1 unless given.
int Listen(const std::string& where) {
  const std::size_t colon = where.rfind(':');
  std::string host =
      colon == std::string::npos ? "127.0.0.1" : where.substr(0, colon);
  const std::string port =
      colon == std::string::npos ? where : where.substr(colon + 1);
  if (host.size() > 1 && host.front() == '[') {
    host = host.substr(1, host.size() - 2);
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int status =
          getaddrinfo(host.c_str(), port.c_str(), &hints, &found)) {
    throw std::runtime_error("listen on " + where + ": " +
                             gai_strerror(status));
  }
  const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &kOn, sizeof kOn);
  const bool bound = fd >= 0 &&
                     bind(fd, found->ai_addr, found->ai_addrlen) == 0 &&
                     listen(fd, 4) == 0;
  const int error = errno;
  freeaddrinfo(found);
  if (!bound) {
    if (fd >= 0) close(fd);
    throw std::system_error(error, std::generic_category(),
                            "listen on " + where);
  }
  return fd;
}

// "127.0.0.1:4001", the address that `fd` listens on.
std::string ListeningAddress(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  char host[NI_MAXHOST] = "?";
  char port[NI_MAXSERV] = "?";
  getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host,
              port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
  const std::string shown_host = std::strchr(host, ':') != nullptr
                                     ? "[" + std::string(host) + "]"
                                     : std::string(host);
  return shown_host + ":" + port;
}

// One connection at a time; the next waits until the one before ends.
void PlayOnListener(const Options& options, zindo::tools::RuleSet rules,
                    zindo::tools::EventLog& log,
                    const zindo::tools::BlockedStopSignals& stop) {
  const int listener = Listen(options.listen);
  std::printf("zindo-devsim: listening on %s\n",
              ListeningAddress(listener).c_str());
  std::fflush(stdout);
  zindo::tools::DevicePlayer player(-1, std::nullopt, std::move(rules), log);
  while (!stop.requested()) {
    pollfd waiting{listener, POLLIN, 0};
    if (ppoll(&waiting, 1, nullptr, &stop.wait_mask()) <= 0) continue;
    const int fd =
        accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &kOn, sizeof kOn);
    player.PlayConnection(fd, stop);
    close(fd);
  }
  close(listener);
}

std::unique_ptr<zindo::tools::EventLog> OpenLog(const std::string& path) {
  if (path.empty()) return std::make_unique<zindo::tools::EventLog>();
  return std::make_unique<zindo::tools::EventLog>(path);
}

}  // namespace

int main(int argc, char** argv) {
  auto read = zindo::tools::ReadCommandLine(argc, argv, kOptions, kProgram,
                                            kHelp, OptionsFrom);
  if (const int* status = std::get_if<int>(&read)) return *status;
  Options options = std::move(std::get<Options>(read));
  // A log reader that goes away must not end the simulator: writes then
  // fail and the log moves to standard error.
  signal(SIGPIPE, SIG_IGN);
  const zindo::tools::BlockedStopSignals stop;
  const auto log = OpenLog(options.log);
  zindo::tools::RuleSet rules(std::move(options.rules),
                              zindo::BuildDevicePackets().probe);
  try {
    if (!options.link.empty()) {
      PlayOnPseudoTerminal(options, std::move(rules), *log, stop);
    } else if (!options.listen.empty()) {
      PlayOnListener(options, std::move(rules), *log, stop);
    } else {
      PlayOnPort(options, std::move(rules), *log, stop);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zindo-devsim: %s\n", error.what());
    return zindo::tools::kExitFailed;
  }
  return zindo::tools::kExitDone;
}

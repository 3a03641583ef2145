// zindo-pty: a stand-in for the device on the relay's serial line that only
// listens (zindo-devsim also answers). It creates a pseudo-terminal, points
// a link (such as $ZINDO_PREFIX/dosdevices/com1) at its slave side, and
// prints every byte the relay sends, one line each: local time, hex and
// decimal. It also says when a program opens or closes the port. SIGINT or
// SIGTERM ends it; it then removes the link if it still points to its
// pseudo-terminal. See kHelp for the command line.

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/system/clock-posix.h"
#include "tools/pseudo_terminal.h"
#include "tools/tool_support.h"

namespace {

using zindo::tools::Owner;

constexpr char kProgram[] = "zindo-pty";

constexpr char kHelp[] =
    "usage: zindo-pty [--owner UID:GID] [--force] LINK\n"
    "\n"
    "Creates a pseudo-terminal that stands in for a serial port, points LINK\n"
    "(e.g. $ZINDO_PREFIX/dosdevices/com1) at it, and prints every byte a\n"
    "program writes to it, one line each: time, hex and decimal. It never\n"
    "answers; zindo-devsim does. Ctrl-C ends it and removes the link.\n"
    "\n"
    "  --owner UID:GID  hand the pseudo-terminal to that user and group\n"
    "  --force          replace LINK even when it is a file or a link to\n"
    "                   something other than a pseudo-terminal\n"
    "  --help           print this text\n"
    "  --version        print the version\n";

constexpr std::array<zindo::KnownOption, 2> kOptions{{
    {"--owner", 0, zindo::OptionValue::kRequired},
    {"--force", 0, zindo::OptionValue::kNone},
}};

struct Options {
  std::string link;
  std::optional<Owner> owner;
  bool force = false;
};

Options OptionsFrom(const zindo::CommandLine& line) {
  Options options;
  for (const zindo::GivenOption& given : line.options) {
    if (given.name == "--owner") {
      options.owner = zindo::tools::OwnerOption(*given.value);
    } else if (given.name == "--force") {
      options.force = true;
    }
  }
  if (line.operands.size() != 1) {
    throw zindo::CommandLineError("give one LINK");
  }
  options.link = line.operands.front();
  return options;
}

void PrintByte(char byte) {
  std::printf("%s  %s\n", zindo::tools::LocalTimeOfDay().c_str(),
              zindo::tools::HexAndDecimal(std::string_view(&byte, 1)).c_str());
}

// How often the listener looks at the line when nothing arrives.
constexpr double kTickSeconds = 0.1;

// Copies what arrives on the master side to standard output until a stop
// signal. While no program has the slave open the master reports a hang-up
// at once, so the loop then pauses instead of spinning; the poll itself
// wakes up now and then so that an open without any bytes is noticed too.
void Listen(int master_fd, const zindo::tools::BlockedStopSignals& stop) {
  const timespec kTick =
      zindo::ToTimespec(kTickSeconds, zindo::Rounding::kDown);
  zindo::tools::SlavePresence presence;
  while (!stop.requested()) {
    pollfd watched{master_fd, POLLIN, 0};
    if (ppoll(&watched, 1, &kTick, &stop.wait_mask()) < 0) continue;  // EINTR
    const bool hung_up = (watched.revents & POLLHUP) != 0;
    if (presence.Changed(hung_up)) {
      std::printf("zindo-pty: %s\n", presence.Describe());
    }
    // What a program wrote just before it closed the port is still to be
    // read after the hang-up, as with `echo hi > LINK`.
    if ((watched.revents & POLLIN) != 0) {
      char buffer[256];
      const ssize_t count = read(master_fd, buffer, sizeof buffer);
      for (ssize_t i = 0; i < count; ++i) PrintByte(buffer[i]);
    } else if (hung_up) {
      ppoll(nullptr, 0, &kTick, &stop.wait_mask());
    }
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  auto read = zindo::tools::ReadCommandLine(argc, argv, kOptions, kProgram,
                                            kHelp, OptionsFrom);
  if (const int* status = std::get_if<int>(&read)) return *status;
  Options options = std::move(std::get<Options>(read));
  const zindo::tools::BlockedStopSignals stop;
  try {
    zindo::tools::PseudoTerminal terminal;
    if (options.owner) {
      terminal.HandSlaveTo(options.owner->uid, options.owner->gid);
    }
    zindo::tools::MakeLineRaw(terminal.master_fd(), terminal.slave_path());
    zindo::tools::PointLinkAt(
        options.link, terminal.slave_path(),
        options.force ? zindo::tools::Replace::kAnything
                      : zindo::tools::Replace::kOnlyPseudoTerminalLinks);
    const zindo::tools::LinkRemover remover(options.link,
                                            terminal.slave_path());
    std::printf("zindo-pty: %s -> %s\n", options.link.c_str(),
                terminal.slave_path().c_str());
    std::fflush(stdout);
    Listen(terminal.master_fd(), stop);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zindo-pty: %s\n", error.what());
    return zindo::tools::kExitFailed;
  }
  return zindo::tools::kExitDone;
}

// zindo-pty: a stand-in for the device on the relay's serial line that only
// listens (zindo-devsim also answers). It creates a pseudo-terminal, points
// a link (such as $ZINDO_PREFIX/dosdevices/com1) at its slave side, and
// prints every byte the relay sends, one line each: local time, hex and
// decimal. It also says when a program opens or closes the port. SIGINT or
// SIGTERM ends it; it then removes the link.
//
// Usage: zindo-pty [--owner UID:GID] LINK

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "tools/pseudo_terminal.h"
#include "tools/tool_support.h"

namespace {

using zindo::tools::Owner;

struct Options {
  std::string link;
  std::optional<Owner> owner;
};

bool ParseArguments(int argc, char** argv, Options& options) {
  int next = 1;
  if (next + 1 < argc && std::strcmp(argv[next], "--owner") == 0) {
    options.owner = zindo::tools::ParseOwner(argv[next + 1]);
    if (!options.owner) return false;
    next += 2;
  }
  if (next + 1 != argc) return false;
  options.link = argv[next];
  return true;
}

void PrintByte(char byte) {
  std::printf("%s  %s\n", zindo::tools::LocalTimeOfDay().c_str(),
              zindo::tools::HexAndDecimal(std::string_view(&byte, 1)).c_str());
}

// Copies what arrives on the master side to standard output until a stop
// signal. While no program has the slave open the master reports a hang-up
// at once, so the loop then pauses instead of spinning; the poll itself
// wakes up now and then so that an open without any bytes is noticed too.
void Listen(int master_fd, const zindo::tools::StopSignals& stop) {
  const timespec kTick{0, 100'000'000};
  zindo::tools::SlavePresence presence;
  while (!stop.requested()) {
    pollfd watched{master_fd, POLLIN, 0};
    if (ppoll(&watched, 1, &kTick, &stop.wait_mask()) < 0) continue;  // EINTR
    const bool hung_up = (watched.revents & POLLHUP) != 0;
    if (presence.Changed(hung_up)) {
      std::printf("zindo-pty: %s\n", presence.Describe());
    }
    if (hung_up) {
      ppoll(nullptr, 0, &kTick, &stop.wait_mask());
    } else if ((watched.revents & POLLIN) != 0) {
      char buffer[256];
      const ssize_t count = read(master_fd, buffer, sizeof buffer);
      for (ssize_t i = 0; i < count; ++i) PrintByte(buffer[i]);
    }
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    std::fprintf(stderr, "usage: zindo-pty [--owner UID:GID] LINK\n");
    return 2;
  }
  const zindo::tools::StopSignals stop;
  try {
    zindo::tools::PseudoTerminal terminal;
    if (options.owner) {
      terminal.HandSlaveTo(options.owner->uid, options.owner->gid);
    }
    zindo::tools::PointLinkAt(options.link, terminal.slave_path());
    std::printf("zindo-pty: %s -> %s\n", options.link.c_str(),
                terminal.slave_path().c_str());
    std::fflush(stdout);
    Listen(terminal.master_fd(), stop);
    unlink(options.link.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zindo-pty: %s\n", error.what());
    return 1;
  }
  return 0;
}

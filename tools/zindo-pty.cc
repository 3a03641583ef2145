// zindo-pty: a stand-in for the device on the relay's serial line, until a
// full device simulator exists. It creates a pseudo-terminal, points a link
// (such as $ZINDO_PREFIX/dosdevices/com1) at its slave side, and prints every
// byte the relay sends, one line each: local time, hex and decimal. It also
// says when a program opens or closes the port. SIGINT or SIGTERM ends it;
// it then removes the link.
//
// Usage: zindo-pty [--owner UID:GID] LINK

#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "tools/pseudo_terminal.h"

namespace {

struct Options {
  std::string link;
  bool hand_over = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

bool ParseOwner(const char* text, Options& options) {
  unsigned uid = 0;
  unsigned gid = 0;
  char rest = 0;
  if (std::sscanf(text, "%u:%u%c", &uid, &gid, &rest) != 2) return false;
  options.hand_over = true;
  options.uid = uid;
  options.gid = gid;
  return true;
}

bool ParseArguments(int argc, char** argv, Options& options) {
  int next = 1;
  if (next + 1 < argc && std::strcmp(argv[next], "--owner") == 0) {
    if (!ParseOwner(argv[next + 1], options)) return false;
    next += 2;
  }
  if (next + 1 != argc) return false;
  options.link = argv[next];
  return true;
}

void PrintByte(unsigned char byte) {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  std::printf("%02d:%02d:%02d.%03ld  0x%02X  %3u\n", local.tm_hour,
              local.tm_min, local.tm_sec, static_cast<long>(now.tv_usec / 1000),
              byte, byte);
}

// Blocks the stop signals outside ppoll, so that one arriving between two
// checks of the flag cannot be lost: ppoll unblocks them while it waits.
volatile sig_atomic_t stop_requested = 0;

void OnStopSignal(int) { stop_requested = 1; }

sigset_t InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &blocked, &previous);
  sigdelset(&previous, SIGINT);
  sigdelset(&previous, SIGTERM);
  return previous;
}

// Copies what arrives on the master side to standard output until a stop
// signal. While no program has the slave open the master reports a hang-up
// at once, so the loop then pauses instead of spinning; the poll itself
// wakes up now and then so that an open without any bytes is noticed too.
void Listen(int master_fd, const sigset_t& wait_mask) {
  const timespec kTick{0, 100'000'000};
  bool port_open = false;
  while (!stop_requested) {
    pollfd watched{master_fd, POLLIN, 0};
    if (ppoll(&watched, 1, &kTick, &wait_mask) < 0) continue;  // EINTR
    const bool hung_up = (watched.revents & POLLHUP) != 0;
    if (hung_up == port_open) {
      port_open = !hung_up;
      std::printf("zindo-pty: port %s\n", port_open ? "opened" : "closed");
      std::fflush(stdout);
    }
    if (hung_up) {
      ppoll(nullptr, 0, &kTick, &wait_mask);
    } else if ((watched.revents & POLLIN) != 0) {
      unsigned char buffer[256];
      const ssize_t count = read(master_fd, buffer, sizeof buffer);
      for (ssize_t i = 0; i < count; ++i) PrintByte(buffer[i]);
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    std::fprintf(stderr, "usage: zindo-pty [--owner UID:GID] LINK\n");
    return 2;
  }
  const sigset_t wait_mask = InstallStopHandlers();
  try {
    zindo::tools::PseudoTerminal terminal;
    if (options.hand_over) terminal.HandSlaveTo(options.uid, options.gid);
    zindo::tools::PointLinkAt(options.link, terminal.slave_path());
    std::printf("zindo-pty: %s -> %s\n", options.link.c_str(),
                terminal.slave_path().c_str());
    std::fflush(stdout);
    Listen(terminal.master_fd(), wait_mask);
    unlink(options.link.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zindo-pty: %s\n", error.what());
    return 1;
  }
  return 0;
}

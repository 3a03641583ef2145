#ifndef ZINDO_TESTS_E2E_RELAY_HARNESS_H_
#define ZINDO_TESTS_E2E_RELAY_HARNESS_H_

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/test_bytes.h"
#include "tools/pseudo_terminal.h"

// What the end-to-end tests need to run the real relay binary: a throw-away
// prefix and working directory, serial ports played by pseudo-terminals, and
// the relay process itself, run unprivileged and unable to reach the
// machine's real serial ports when the tests run as root.
namespace zindo::e2e {

using tools::PseudoTerminal;

// The user the relay runs as when the tests run as root: users never run it
// as root, and root would slip past exclusive opens and file permissions.
inline constexpr uid_t kRelayUser = 65534;
inline constexpr gid_t kRelayGroup = 65534;

bool RunningAsRoot();

// A temporary tree under /tmp, removed when destroyed:
//   <root>/prefix  the relay's ZINDO_PREFIX, with an empty dosdevices/
//   <root>/work    the relay's working directory (the companion's files)
//   <root>/state   the relay's XDG_STATE_HOME, where it keeps its log
// Paths given to the methods are absolute or relative to <root>. Everything
// the tests create in prefix/ and work/ is handed to the relay's user, as if
// that user had made it.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();

  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  std::string Path(const std::string& relative) const;
  std::string prefix() const { return Path("prefix"); }
  std::string work() const { return Path("work"); }

  // A directory (and its missing parents) owned by the relay's user.
  void MakeDirectory(const std::string& path) const;

  // Writes `bytes` to `path`, owned by the relay's user, with `mode`. The
  // bytes appear under the name at once and whole (written aside, then
  // renamed), so a relay polling for the file never sees it half written.
  void WriteFile(const std::string& path, const std::string& bytes,
                 mode_t mode = 0644) const;

  // The whole content of `path`, or nothing when it cannot be read.
  std::optional<std::string> ReadFile(const std::string& path) const;

  bool Exists(const std::string& path) const;

  // The names in directory `path`, sorted.
  std::vector<std::string> List(const std::string& path) const;

  // Links dosdevices/comN to `device`, which may be missing.
  void MapPort(int port, const std::string& device) const;
  // Links dosdevices/comN to the slave side of `terminal`, which the relay's
  // user is allowed to open.
  void MapPort(int port, const PseudoTerminal& terminal) const;
  // Links dosdevices/c: to `directory`.
  void MapDriveC(const std::string& directory) const;

 private:
  std::string root_;
};

// Whether another program of the relay's user would find `device` taken: a
// probe running as that user opens it and takes its lock, and reports held
// when the open is refused as busy or the lock is already taken. The probe
// ends before this returns, so it holds nothing afterwards. Throws
// std::runtime_error when the probe fails for another reason (for example a
// missing device).
bool PortIsHeld(const std::string& device);

// The relay binary running in a sandbox, with standard input from /dev/null
// and standard error captured to a file. When the tests run as root it runs
// as kRelayUser inside a mount namespace where every /dev/ttyS* is /dev/null.
// Killed and reaped when destroyed if it is still running.
class RelayProcess {
 public:
  // Starts the relay in `sandbox`; `name` tells apart the stderr captures of
  // several relays in one sandbox. The relay's environment is the test's,
  // without any ZINDO_ variable of the test's own, with ZINDO_PREFIX set to
  // the sandbox's prefix, XDG_STATE_HOME set to its state/ and with the
  // "NAME=value" entries of `environment`.
  // DISPLAY and WAYLAND_DISPLAY are dropped too: only `environment` gives the
  // relay a desktop to show dialogs on. An LD_PRELOAD entry reaches the
  // relay alone, not the steps that start it. `arguments` follow the
  // relay's name on its command line; its standard output goes to
  // <name>.stdout in the sandbox.
  RelayProcess(const Sandbox& sandbox, const std::string& name = "relay",
               const std::vector<std::string>& environment = {},
               const std::vector<std::string>& arguments = {});
  ~RelayProcess();

  RelayProcess(const RelayProcess&) = delete;
  RelayProcess& operator=(const RelayProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool IsRunning();

  // Waits up to `limit` for the relay to end. Returns its exit status (128 +
  // the signal number when a signal ended it), or nothing when it is still
  // running.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit);

  // How many bytes the relay has read so far through read() and its kin
  // (rchar of /proc/PID/io), files and devices alike.
  long long ReadBytes() const;

  // What the relay wrote to standard error so far, as lines without their
  // line ends.
  std::vector<std::string> StderrLines() const;
  std::string Stderr() const;

 private:
  void Reap(int wait_status);

  std::string stderr_path_;
  pid_t pid_ = -1;
  std::optional<int> exit_status_;
};

// A helper program run in the background in a sandbox (the device
// simulator, a serial server), with its standard output and error captured
// to <name>.output there. Ended with SIGTERM (SIGKILL when that is not
// enough) and reaped when stopped or destroyed.
class BackgroundProgram {
 public:
  BackgroundProgram(const Sandbox& sandbox, const std::string& name,
                    std::vector<std::string> command);
  ~BackgroundProgram() { Stop(); }

  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  // Ends it. Returns its exit status (128 + the signal number when a signal
  // ended it), or -1 when it was stopped before.
  int Stop();

  // What it has written so far.
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  std::string output_path_;
};

// zindo-devsim playing the device on port `port` of a sandbox, answering by
// `rules` (its --rule syntax), with its log kept in the sandbox. Ready once
// constructed: the port's dosdevices link exists. Ended with SIGTERM and
// reaped when stopped or destroyed.
class DeviceSimulator {
 public:
  DeviceSimulator(const Sandbox& sandbox, int port,
                  const std::vector<std::string>& rules);

  // One that takes TCP connections on a free port of 127.0.0.1 instead
  // (--listen), ready once constructed; address() says where.
  static std::unique_ptr<DeviceSimulator> Listening(
      const Sandbox& sandbox, const std::vector<std::string>& rules);

  // Ends the simulator, which closes its end of the line as an unplugged
  // adapter would. Returns its exit status.
  int Stop() { return program_->Stop(); }

  // What it has logged so far.
  std::string Log() const;

  // "127.0.0.1:PORT" for one that listens.
  const std::string& address() const { return address_; }

 private:
  DeviceSimulator(const Sandbox& sandbox, const std::vector<std::string>& line,
                  const std::vector<std::string>& rules);

  std::string log_path_;
  std::unique_ptr<BackgroundProgram> program_;
  std::string address_;
};

// A TCP port of 127.0.0.1 that nothing listens on at the moment of asking:
// for servers that cannot take port 0 and say which one they got.
int FreeLoopbackPort();

// Debian's ser2net serving `device` as RFC 2217 on 127.0.0.1:`port`, ready
// once constructed. It starts the line at 9600 baud, even parity, 7 data
// bits, 2 stop bits, so that a client's settings show when they arrive.
class Ser2netServer {
 public:
  Ser2netServer(const Sandbox& sandbox, const std::string& device, int port);

  // Ends it, and with it every connection it holds.
  void Stop() { program_->Stop(); }

 private:
  std::unique_ptr<BackgroundProgram> program_;
};

// The device's end of a serial line played by a pseudo-terminal: what the
// relay sends arrives here, and what is sent from here reaches the relay.
// The relay may close and reopen its end meanwhile.
class DeviceEnd {
 public:
  explicit DeviceEnd(const PseudoTerminal& terminal)
      : fd_(terminal.master_fd()) {}

  // Sends `bytes` in one write.
  void Send(const std::string& bytes);

  // Reads what the relay sends until `count` bytes have come or `limit`
  // passes, and returns what came.
  std::string Receive(std::size_t count, std::chrono::milliseconds limit);

  // Everything the relay sends during `period`.
  std::string ReceiveFor(std::chrono::milliseconds period);

 private:
  int fd_;
};

// Whether `program` is on the PATH.
bool OnPath(const std::string& program);

// The first line `command` writes, run by the shell; "" when it fails.
std::string FirstLineOf(const std::string& command);

// An Xvfb server on a display number it picks itself, ended by its pid when
// destroyed. Programs showing windows on it end with it.
class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", or "" when the server did not come up.
  const std::string& name() const { return display_; }

  // An X client command run against this display.
  std::string Run(const std::string& command) const {
    return FirstLineOf("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Copies the program at `path` into `sandbox`'s emulator/ folder, where
// the relay's user may run it, and returns its new path; a `resources`
// folder beside it (DOSBox Staging's fonts) goes with it.
std::string CopyProgramInto(const Sandbox& sandbox, const std::string& path);

// The DOSBox processes started for `sandbox`: their command line mounts a
// directory inside it.
std::vector<pid_t> DosboxProcessesIn(const Sandbox& sandbox);

// What the response file holds for `reply`: "/0,17,0,129\r\n".
std::string ResponseLine(const std::string& reply);

// Checks `condition` every few milliseconds until it holds or `limit`
// passes. Returns whether it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit);

}  // namespace zindo::e2e

#endif  // ZINDO_TESTS_E2E_RELAY_HARNESS_H_

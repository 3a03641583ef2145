#include "tests/e2e/relay_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/system/clock.h"

extern char** environ;

namespace zindo::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

[[noreturn]] void ThrowSystemError(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void HandToRelayUser(const std::string& path) {
  if (!RunningAsRoot()) return;
  if (lchown(path.c_str(), kRelayUser, kRelayGroup) != 0) {
    ThrowSystemError("lchown " + path);
  }
}

// Drops to the relay's user in a child process before it touches anything
// the relay might. Returns false when that fails.
bool BecomeRelayUser() {
  if (!RunningAsRoot()) return true;
  return setgroups(0, nullptr) == 0 &&
         setresgid(kRelayGroup, kRelayGroup, kRelayGroup) == 0 &&
         setresuid(kRelayUser, kRelayUser, kRelayUser) == 0;
}

// The relay's command line. As root it is wrapped: a private mount namespace
// in which every /dev/ttyS* is /dev/null (so that whatever the relay does it
// cannot reach a real serial port, one of which may be the machine's
// console), then setpriv to the relay's user. Both wrappers exec, so the pid
// that fork returned ends up being the relay's. If a bind mount fails the
// relay is not started at all.
// `preload` (an LD_PRELOAD entry, or "") is given to the relay alone: a
// library such as libfaketime loaded into the root steps before it would
// leave them shared state that the relay's user may not open.
// `arguments` follow the relay on its command line.
std::vector<std::string> RelayCommand(
    const std::string& preload, const std::vector<std::string>& arguments) {
  std::vector<std::string> relay = {ZINDO_RELAY_PATH};
  if (!preload.empty()) relay = {"env", preload, ZINDO_RELAY_PATH};
  relay.insert(relay.end(), arguments.begin(), arguments.end());
  if (!RunningAsRoot()) return relay;
  std::vector<std::string> command = {
      "unshare",
      "-m",
      "sh",
      "-c",
      "for t in /dev/ttyS*; do [ -e \"$t\" ] || continue; "
      "mount --bind /dev/null \"$t\" || exit 126; done; exec \"$@\"",
      "guard",
      "setpriv",
      "--reuid=" + std::to_string(kRelayUser),
      "--regid=" + std::to_string(kRelayGroup),
      "--clear-groups",
      "--"};
  command.insert(command.end(), relay.begin(), relay.end());
  return command;
}

// The test's environment without the relay's own variables and without a
// display (a message would otherwise wait for a dialog on the tester's
// desktop), then ZINDO_PREFIX, the sandbox's folder for the relay's log, and
// `extra`.
std::vector<std::string> RelayEnvironment(
    const Sandbox& sandbox, const std::vector<std::string>& extra) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string entry_text = *entry;
    if (entry_text.starts_with("ZINDO_") ||
        entry_text.starts_with("DISPLAY=") ||
        entry_text.starts_with("XDG_STATE_HOME=") ||
        entry_text.starts_with("WAYLAND_DISPLAY=")) {
      continue;
    }
    environment.emplace_back(*entry);
  }
  environment.push_back("ZINDO_PREFIX=" + sandbox.prefix());
  environment.push_back("XDG_STATE_HOME=" + sandbox.Path("state"));
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

std::vector<char*> PointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the forked child: only system calls from here on, then exec.
[[noreturn]] void ExecIn(const std::string& work, int stdout_fd, int stderr_fd,
                         char** argv, char** envp) {
  const int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd < 0 || dup2(null_fd, STDIN_FILENO) < 0 ||
      dup2(stdout_fd, STDOUT_FILENO) < 0 ||
      dup2(stderr_fd, STDERR_FILENO) < 0 || chdir(work.c_str()) != 0) {
    _exit(127);
  }
  execvpe(argv[0], argv, envp);
  _exit(127);
}

// The whole content of `path`, or nothing when it cannot be read.
std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

int OpenCapture(const std::string& path) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) ThrowSystemError("open " + path);
  return fd;
}

}  // namespace

bool RunningAsRoot() { return geteuid() == 0; }

Sandbox::Sandbox() {
  char pattern[] = "/tmp/zindo-e2e.XXXXXX";
  if (mkdtemp(pattern) == nullptr) ThrowSystemError("mkdtemp");
  root_ = pattern;
  // The relay's user may pass through the root but not list it; the stderr
  // captures kept there stay the test's own.
  if (chmod(root_.c_str(), 0711) != 0) ThrowSystemError("chmod " + root_);
  MakeDirectory("prefix/dosdevices");
  MakeDirectory("work");
  MakeDirectory("state");
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string Sandbox::Path(const std::string& relative) const {
  if (relative.starts_with("/")) return relative;
  return root_ + "/" + relative;
}

void Sandbox::MakeDirectory(const std::string& path) const {
  const fs::path full = Path(path);
  if (fs::is_directory(full)) return;
  MakeDirectory(full.parent_path());
  if (mkdir(full.c_str(), 0755) != 0)
    ThrowSystemError("mkdir " + full.string());
  HandToRelayUser(full);
}

void Sandbox::WriteFile(const std::string& path, const std::string& bytes,
                        mode_t mode) const {
  const std::string full = Path(path);
  const std::string aside = full + ".being-written";
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + aside);
  }
  if (chmod(aside.c_str(), mode) != 0) ThrowSystemError("chmod " + aside);
  HandToRelayUser(aside);
  if (rename(aside.c_str(), full.c_str()) != 0) {
    ThrowSystemError("rename " + aside);
  }
}

std::optional<std::string> Sandbox::ReadFile(const std::string& path) const {
  return ReadWhole(Path(path));
}

bool Sandbox::Exists(const std::string& path) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(Path(path), ignored));
}

std::vector<std::string> Sandbox::List(const std::string& path) const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(Path(path), ignored)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void Sandbox::MapPort(int port, const std::string& device) const {
  tools::PointLinkAt(Path("prefix/dosdevices/com" + std::to_string(port)),
                     device, tools::Replace::kAnything);
}

void Sandbox::MapPort(int port, const PseudoTerminal& terminal) const {
  if (RunningAsRoot()) terminal.HandSlaveTo(kRelayUser, kRelayGroup);
  MapPort(port, terminal.slave_path());
}

void Sandbox::MapDriveC(const std::string& directory) const {
  tools::PointLinkAt(Path("prefix/dosdevices/c:"), Path(directory),
                     tools::Replace::kAnything);
}

bool PortIsHeld(const std::string& device) {
  enum ProbeResult { kFree = 0, kHeld = 1, kFailed = 2 };
  const pid_t probe = fork();
  if (probe < 0) ThrowSystemError("fork");
  if (probe == 0) {
    if (!BecomeRelayUser()) _exit(kFailed);
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) _exit(errno == EBUSY ? kHeld : kFailed);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      _exit(errno == EWOULDBLOCK ? kHeld : kFailed);
    }
    _exit(kFree);
  }
  int status = 0;
  if (waitpid(probe, &status, 0) != probe) ThrowSystemError("waitpid");
  if (!WIFEXITED(status) || WEXITSTATUS(status) == kFailed) {
    throw std::runtime_error("cannot probe " + device);
  }
  return WEXITSTATUS(status) == kHeld;
}

RelayProcess::RelayProcess(const Sandbox& sandbox, const std::string& name,
                           const std::vector<std::string>& environment_extra,
                           const std::vector<std::string>& arguments)
    : stderr_path_(sandbox.Path(name + ".stderr")) {
  std::vector<std::string> extra = environment_extra;
  std::string preload;
  std::erase_if(extra, [&](const std::string& entry) {
    if (!entry.starts_with("LD_PRELOAD=")) return false;
    preload = entry;
    return true;
  });
  std::vector<std::string> command = RelayCommand(preload, arguments);
  std::vector<std::string> environment = RelayEnvironment(sandbox, extra);
  std::vector<char*> argv = PointersTo(command);
  std::vector<char*> envp = PointersTo(environment);
  const std::string work = sandbox.work();
  const int stdout_fd = OpenCapture(sandbox.Path(name + ".stdout"));
  const int stderr_fd = OpenCapture(stderr_path_);
  pid_ = fork();
  if (pid_ == 0) ExecIn(work, stdout_fd, stderr_fd, argv.data(), envp.data());
  const int fork_error = errno;
  close(stdout_fd);
  close(stderr_fd);
  if (pid_ < 0) {
    errno = fork_error;
    ThrowSystemError("fork");
  }
}

RelayProcess::~RelayProcess() {
  if (exit_status_.has_value() || pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
}

void RelayProcess::Reap(int wait_status) {
  exit_status_ = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                        : 128 + WTERMSIG(wait_status);
}

bool RelayProcess::IsRunning() {
  if (exit_status_.has_value()) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  Reap(status);
  return false;
}

std::optional<int> RelayProcess::WaitForExit(std::chrono::milliseconds limit) {
  WaitUntil([this] { return !IsRunning(); }, limit);
  return exit_status_;
}

std::string RelayProcess::Stderr() const {
  return ReadWhole(stderr_path_).value_or("");
}

long long RelayProcess::ReadBytes() const {
  std::ifstream io("/proc/" + std::to_string(pid_) + "/io");
  std::string field;
  long long value = 0;
  while (io >> field >> value) {
    if (field == "rchar:") return value;
  }
  throw std::runtime_error("no rchar in /proc/" + std::to_string(pid_) + "/io");
}

std::vector<std::string> RelayProcess::StderrLines() const {
  std::vector<std::string> lines;
  std::istringstream in(Stderr());
  for (std::string line; std::getline(in, line);) {
    if (line.ends_with('\r')) line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

BackgroundProgram::BackgroundProgram(const Sandbox& sandbox,
                                     const std::string& name,
                                     std::vector<std::string> command)
    : output_path_(sandbox.Path(name + ".output")) {
  std::vector<char*> argv = PointersTo(command);
  const int output_fd = OpenCapture(output_path_);
  pid_ = fork();
  if (pid_ == 0)
    ExecIn(sandbox.Path(""), output_fd, output_fd, argv.data(), environ);
  close(output_fd);
  if (pid_ < 0) ThrowSystemError("fork");
}

int BackgroundProgram::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                 10s)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string BackgroundProgram::Output() const {
  return ReadWhole(output_path_).value_or("");
}

DeviceSimulator::DeviceSimulator(const Sandbox& sandbox,
                                 const std::vector<std::string>& line,
                                 const std::vector<std::string>& rules)
    : log_path_(sandbox.Path("devsim.log")) {
  std::vector<std::string> command = {ZINDO_DEVSIM_PATH, "--log", log_path_};
  command.insert(command.end(), line.begin(), line.end());
  for (const std::string& rule : rules) {
    command.insert(command.end(), {"--rule", rule});
  }
  program_ = std::make_unique<BackgroundProgram>(sandbox, "devsim", command);
}

namespace {

// The pseudo-terminal goes to the relay's user, who opens it.
std::vector<std::string> LinkOptions(const std::string& link) {
  std::vector<std::string> options = {"--link", link};
  if (RunningAsRoot()) {
    options.insert(options.end(), {"--owner", std::to_string(kRelayUser) + ":" +
                                                  std::to_string(kRelayGroup)});
  }
  return options;
}

}  // namespace

DeviceSimulator::DeviceSimulator(const Sandbox& sandbox, int port,
                                 const std::vector<std::string>& rules)
    : DeviceSimulator(sandbox,
                      LinkOptions(sandbox.Path("prefix/dosdevices/com" +
                                               std::to_string(port))),
                      rules) {
  const std::string link =
      sandbox.Path("prefix/dosdevices/com" + std::to_string(port));
  if (!WaitUntil([&] { return fs::is_symlink(link); }, 10s)) {
    Stop();
    throw std::runtime_error("zindo-devsim did not map " + link);
  }
  HandToRelayUser(link);
}

std::unique_ptr<DeviceSimulator> DeviceSimulator::Listening(
    const Sandbox& sandbox, const std::vector<std::string>& rules) {
  std::unique_ptr<DeviceSimulator> simulator(
      new DeviceSimulator(sandbox, {"--listen", "127.0.0.1:0"}, rules));
  const std::string marker = "listening on ";
  std::string output;
  if (!WaitUntil(
          [&] {
            output = simulator->program_->Output();
            return output.find('\n') != std::string::npos;
          },
          10s) ||
      output.find(marker) == std::string::npos) {
    throw std::runtime_error("zindo-devsim did not listen: " + output);
  }
  const std::size_t start = output.find(marker) + marker.size();
  simulator->address_ = output.substr(start, output.find('\n') - start);
  return simulator;
}

std::string DeviceSimulator::Log() const {
  return ReadWhole(log_path_).value_or("");
}

namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool LoopbackListens(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = LoopbackAddress(port);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address),
              sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ThrowSystemError("find a free port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

Ser2netServer::Ser2netServer(const Sandbox& sandbox, const std::string& device,
                             int port) {
  sandbox.WriteFile("ser2net.yaml",
                    "connection: &relay\n"
                    "  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                        std::to_string(port) + "\n  connector: serialdev," +
                        device + ",9600e72,local\n");
  program_ = std::make_unique<BackgroundProgram>(
      sandbox, "ser2net",
      std::vector<std::string>{"ser2net", "-n", "-u", "-P",
                               sandbox.Path("ser2net.pid"), "-c",
                               sandbox.Path("ser2net.yaml")});
  if (!WaitUntil([&] { return LoopbackListens(port); }, 10s)) {
    throw std::runtime_error("ser2net did not listen: " + program_->Output());
  }
}

void DeviceEnd::Send(const std::string& bytes) {
  const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
  if (written != static_cast<ssize_t>(bytes.size())) {
    ThrowSystemError("write to the relay's line");
  }
}

std::string DeviceEnd::Receive(std::size_t count,
                               std::chrono::milliseconds limit) {
  const double deadline =
      MonotonicNow() + std::chrono::duration<double>(limit).count();
  std::string received;
  while (received.size() < count && MonotonicNow() < deadline) {
    pollfd ready{.fd = fd_, .events = POLLIN, .revents = 0};
    // While the relay has its end closed the master reports a hang-up and
    // reads fail: that is a pause in the line, not its end.
    if (::poll(&ready, 1, 10) <= 0 || (ready.revents & POLLIN) == 0) {
      if (ready.revents & POLLHUP) std::this_thread::sleep_for(10ms);
      continue;
    }
    char buffer[256];
    const ssize_t got =
        ::read(fd_, buffer, std::min(sizeof buffer, count - received.size()));
    if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

std::string DeviceEnd::ReceiveFor(std::chrono::milliseconds period) {
  return Receive(SIZE_MAX, period);
}

std::string ResponseLine(const std::string& reply) {
  std::string line = "/0";
  for (char byte : reply) {
    line += "," + std::to_string(static_cast<unsigned char>(byte));
  }
  return line + "\r\n";
}

bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit) {
  const double deadline =
      MonotonicNow() + std::chrono::duration<double>(limit).count();
  while (!condition()) {
    if (MonotonicNow() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool OnPath(const std::string& program) {
  const std::string command = "command -v " + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string FirstLineOf(const std::string& command) {
  FILE* output = ::popen(command.c_str(), "r");
  if (output == nullptr) return "";
  char line[256] = "";
  if (std::fgets(line, sizeof line, output) == nullptr) line[0] = '\0';
  const int status = ::pclose(output);
  std::string text = status == 0 ? line : "";
  if (text.ends_with('\n')) text.pop_back();
  return text;
}

namespace {

[[noreturn]] void ExecXvfb(int display_fd) {
  const int null_fd = ::open("/dev/null", O_RDWR);
  ::dup2(null_fd, STDIN_FILENO);
  ::dup2(null_fd, STDOUT_FILENO);
  ::dup2(null_fd, STDERR_FILENO);
  const std::string fd = std::to_string(display_fd);
  // -noreset: by default the server starts afresh whenever its last client
  // leaves, and drops the connections that come meanwhile. SDL opens the
  // display twice in a row as it starts, so DOSBox, the only client, would
  // often fail to start ("Couldn't open X11 display").
  ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp",
           "-noreset", "-screen", "0", "800x600x24",
           static_cast<char*>(nullptr));
  ::_exit(127);
}

// Xvfb writes the number once it accepts connections.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  pollfd ready{fd, POLLIN, 0};
  while (::poll(&ready, 1, 5000) == 1) {
    char c;
    if (::read(fd, &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  return number.empty() ? "" : ":" + number;
}

}  // namespace

VirtualDisplay::VirtualDisplay() {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe for Xvfb");
  pid_ = ::fork();
  if (pid_ == 0) ExecXvfb(fds[1]);
  ::close(fds[1]);
  display_ = ReadDisplayNumber(fds[0]);
  ::close(fds[0]);
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

// Copies the program at `path` into `sandbox`, where the relay's user may
// run it, and returns its new path; a `resources` folder beside it (DOSBox
// Staging's fonts) goes with it.
std::string CopyProgramInto(const Sandbox& sandbox, const std::string& path) {
  const std::filesystem::path program(path);
  const std::string folder = "emulator";
  sandbox.MakeDirectory(folder);
  const std::string copy = folder + "/" + program.filename().string();
  sandbox.WriteFile(copy, ReadWhole(path).value_or(""), 0755);
  const std::filesystem::path resources = program.parent_path() / "resources";
  std::error_code ignored;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(resources, ignored)) {
    const std::string relative =
        std::filesystem::relative(entry.path(), program.parent_path());
    if (entry.is_directory()) {
      sandbox.MakeDirectory(folder + "/" + relative);
    } else {
      sandbox.WriteFile(folder + "/" + relative,
                        ReadWhole(entry.path()).value_or(""));
    }
  }
  return sandbox.Path(copy);
}

std::vector<pid_t> DosboxProcessesIn(const Sandbox& sandbox) {
  std::vector<pid_t> found;
  std::error_code ignored;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc", ignored)) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string command;
    try {
      std::ifstream in(entry.path() / "cmdline", std::ios::binary);
      command.assign(std::istreambuf_iterator<char>(in), {});
    } catch (const std::ios_base::failure&) {
      continue;  // The process ended while its command line was read.
    }
    if (command.find("dosbox") != std::string::npos &&
        command.find(sandbox.Path("")) != std::string::npos) {
      found.push_back(std::stoi(name));
    }
  }
  return found;
}

}  // namespace zindo::e2e

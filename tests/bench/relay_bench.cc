// Measures the real relay on pseudo-terminals and prints a table: how often
// and how much an idle relay wakes, how long requests and replies take
// beyond the relay's own fixed 0.3 s waits, its memory, the same relay
// where its directory cannot be watched (as on a network share), how fast
// it ends on SIGTERM, and 1,000 idle relays side by side; then, where
// DOSBox and Xvfb are installed, what making DOSBox see a new file costs,
// how long a DOS companion that polls with FindFirst waits for each
// response (with no display too, where the idle helper answers it), what
// the helper costs look-ups of other names in emulated time, and what the
// whole system spends while a DOS companion waits for a slow device, with
// the idle helper and without it. Figures, not
// verdicts: the targets are printed beside them, and the exit status says only
// whether the measurement itself worked.

#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/dos_path.h"
#include "base/error.h"
#include "dos/dosbox_line.h"
#include "dos/dosbox_settings.h"
#include "dos/program_information.h"
#include "platform/desktop/desktop-posix.h"
#include "platform/programs/spawn-posix.h"
#include "platform/system/clock-posix.h"
#include "tests/bench/process_figures.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int kOtherFiles = 10'000;
constexpr int kSamples = 60;
constexpr int kFleetSize = 1'000;
constexpr int kDosboxRuns = 5;
constexpr int kWaitingRuns = 3;
constexpr double kFixedWaitMs = 300.0;  // the relay's own settle time
constexpr auto kIdlePeriod = 10s;
constexpr char kFakeTimeLibrary[] =
    "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
// A time of day where the relay's single-precision clock moves in 61 us
// steps (at midday they are 3.9 ms).
constexpr char kEarlyInTheDay[] = "00:10:00";

// Since `start`, a reading of MonotonicNow().
double MillisecondsSince(double start) {
  return (MonotonicNow() - start) * 1000;
}

// Times the relay went to sleep and was woken (preemptions while it runs
// are not counted: they are the machine's load, not the relay's waking).
long Wakeups(pid_t pid) { return StatusKib(pid, "voluntary_ctxt_switches"); }

struct Summary {
  double median;
  double p95;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    return values[static_cast<std::size_t>(q * (values.size() - 1) + 0.5)];
  };
  return {at(0.5), at(0.95)};
}

// How far the relay's clock moves in one step at `seconds` since midnight.
double StepMs(double seconds) {
  const float reading = static_cast<float>(seconds);
  return 1000.0 *
         (std::nextafter(reading, std::numeric_limits<float>::infinity()) -
          reading);
}

// The time of day as the relay reads it, from the same clock.
double SecondsSinceMidnightNow() { return PosixClock().SecondsSinceMidnight(); }

std::string TimeOfDay(double seconds) {
  char text[16];
  const int whole = static_cast<int>(seconds);
  std::snprintf(text, sizeof text, "%02d:%02d", whole / 3600, whole / 60 % 60);
  return text;
}

struct Idle {
  double cpu_percent;
  double wakeups_per_second;
};

enum class PortKind { kPseudoTerminal, kRfc2217 };

// One relay serving a sandbox whose COM1 is a pseudo-terminal (or the same
// pseudo-terminal served by ser2net over loopback, for kRfc2217), with
// `environment` added to its own; with `traced`, it keeps a trace in the
// sandbox.
class Bench {
 public:
  explicit Bench(std::vector<std::string> environment = {}, bool traced = false,
                 PortKind kind = PortKind::kPseudoTerminal) {
    if (traced) {
      environment.push_back("ZINDO_TRACE=" + sandbox_.Path("logs/trace.log"));
    }
    if (kind == PortKind::kRfc2217) {
      const int port = FreeLoopbackPort();
      server_ =
          std::make_unique<Ser2netServer>(sandbox_, com1_.slave_path(), port);
      sandbox_.MapPort(1, "rfc2217://127.0.0.1:" + std::to_string(port));
    } else {
      sandbox_.MapPort(1, com1_);
    }
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.MakeDirectory("logs");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif", "#!/bin/sh\ntouch started\n", 0755);
    relay_ = std::make_unique<RelayProcess>(sandbox_, "relay", environment);
    if (!WaitUntil([&] { return sandbox_.Exists("work/started"); }, 20s)) {
      throw std::runtime_error("the relay did not start: " + relay_->Stderr());
    }
  }

  ~Bench() {
    if (!relay_->IsRunning()) return;
    sandbox_.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
    relay_->WaitForExit(20s);
  }

  void AddOtherFiles(int count) {
    for (int i = 0; i < count; ++i) {
      std::ofstream(sandbox_.Path("work/other" + std::to_string(i) + ".dat"))
          << i;
    }
  }

  Idle MeasureIdle(std::chrono::seconds period) {
    std::this_thread::sleep_for(1s);  // let the new files settle
    const pid_t pid = relay_->pid();
    const double cpu_before = CpuNanoseconds(pid);
    const long switches_before = Wakeups(pid);
    std::this_thread::sleep_for(period);
    const double used = CpuNanoseconds(pid) - cpu_before;
    const double seconds = std::chrono::duration<double>(period).count();
    return {100.0 * used / (seconds * 1e9),
            (Wakeups(pid) - switches_before) / seconds};
  }

  // Milliseconds from a request file's appearance to its first byte on the
  // line, beyond the relay's 0.3 s wait.
  double RequestLatency(int turn) {
    const std::string request{1, 5, static_cast<char>(turn)};
    sandbox_.WriteFile("work/ZINDOK1.TXT", request);
    const auto written = MonotonicNow();
    if (device_.Receive(1, 10s).empty()) throw std::runtime_error("no bytes");
    const double latency = MillisecondsSince(written) - kFixedWaitMs;
    device_.Receive(2, 10s);
    WaitUntil([&] { return !sandbox_.Exists("work/ZINDOK1.TXT"); }, 10s);
    return latency;
  }

  // Milliseconds from a 19-byte reply written in one go to the response
  // file holding it, beyond the relay's 0.3 s sample.
  double ReplyLatency(int turn) {
    std::string reply(19, static_cast<char>(turn));
    reply[0] = 17;
    std::string expected = "/0";
    for (char byte : reply) {
      expected += "," + std::to_string(static_cast<unsigned char>(byte));
    }
    expected += "\r\n";
    const auto sent = MonotonicNow();
    device_.Send(reply);
    while (sandbox_.ReadFile("work/zindoK2.txt") != expected) {
      if (MillisecondsSince(sent) > 10'000) throw std::runtime_error("late");
      std::this_thread::sleep_for(50us);
    }
    return MillisecondsSince(sent) - kFixedWaitMs;
  }

  long PeakKib() { return StatusKib(relay_->pid(), "VmHWM"); }
  long PrivateMemoryKib() { return PrivateKib(relay_->pid()); }

  // Milliseconds from SIGTERM to the relay's end, the signal sent `settle`
  // after the device sent `bytes` (none: an idle relay). The relay ends.
  double SignalToEndMs(const std::string& bytes,
                       std::chrono::milliseconds settle) {
    if (!bytes.empty()) device_.Send(bytes);
    std::this_thread::sleep_for(settle);
    // Readable the moment the process ends, before anyone reaps it.
    const int ended =
        static_cast<int>(::syscall(SYS_pidfd_open, relay_->pid(), 0));
    if (ended < 0) throw std::runtime_error("pidfd_open failed");
    const auto sent = MonotonicNow();
    ::kill(relay_->pid(), SIGTERM);
    pollfd watched{ended, POLLIN, 0};
    const bool in_time = ::poll(&watched, 1, 10'000) == 1;
    const double elapsed = MillisecondsSince(sent);
    ::close(ended);
    if (!in_time || relay_->WaitForExit(1s) != 0) {
      throw std::runtime_error("the relay did not end normally on SIGTERM");
    }
    return elapsed;
  }

 private:
  Sandbox sandbox_;
  PseudoTerminal com1_;
  DeviceEnd device_{com1_};
  std::unique_ptr<Ser2netServer> server_;
  std::unique_ptr<RelayProcess> relay_;
};

struct Latencies {
  Summary request;
  Summary reply;
};

Latencies MeasureLatencies(Bench& bench, int samples = kSamples,
                           bool with_replies = true) {
  std::vector<double> requests;
  std::vector<double> replies;
  for (int turn = 0; turn < samples; ++turn) {
    requests.push_back(bench.RequestLatency(turn));
    if (with_replies) replies.push_back(bench.ReplyLatency(turn));
    std::this_thread::sleep_for(20ms);
  }
  if (!with_replies) return {Summarise(requests), {0, 0}};
  return {Summarise(requests), Summarise(replies)};
}

// Raises the inotify instances one user may hold, for as long as it
// exists, when the bench may: all the relays run as one user, and past the
// limit they fall back to listing their directories.
class InotifyInstances {
 public:
  explicit InotifyInstances(int wanted) {
    std::ifstream(kPath) >> before_;
    if (before_ >= wanted || !RunningAsRoot()) return;
    std::ofstream(kPath) << wanted;
    raised_ = true;
  }
  ~InotifyInstances() {
    if (raised_) std::ofstream(kPath) << before_;
  }
  int limit() const {
    int now = 0;
    std::ifstream(kPath) >> now;
    return now;
  }
  bool raised() const { return raised_; }

 private:
  static constexpr char kPath[] = "/proc/sys/fs/inotify/max_user_instances";
  int before_ = 0;
  bool raised_ = false;
};

struct FleetFigures {
  double cpu_percent = 0;
  int polling = 0;  // relays that said their directory is not watched
  int limit = 0;
  bool raised = false;
};

// `count` idle relays, each with its own sandbox and pseudo-terminal: the
// CPU they use together over kIdlePeriod.
FleetFigures MeasureFleet(int count) {
  InotifyInstances instances(count + 200);
  struct Member {
    Sandbox sandbox;
    PseudoTerminal com1;
    std::unique_ptr<RelayProcess> relay;
  };
  std::vector<std::unique_ptr<Member>> fleet;
  for (int i = 0; i < count; ++i) {
    auto member = std::make_unique<Member>();
    member->sandbox.MapPort(1, member->com1);
    member->sandbox.MakeDirectory("prefix/drive_c/zindo");
    member->sandbox.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                              "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    member->sandbox.WriteFile("work/autoexec.pif", "#!/bin/sh\n:\n", 0755);
    member->relay = std::make_unique<RelayProcess>(member->sandbox);
    fleet.push_back(std::move(member));
  }
  for (auto& member : fleet) {
    if (!WaitUntil([&] { return member->sandbox.Exists("work/zindoK.inf"); },
                   60s)) {
      throw std::runtime_error("a relay of the fleet did not start: " +
                               member->relay->Stderr());
    }
  }
  std::this_thread::sleep_for(2s);  // let start-up settle
  std::vector<double> before;
  for (auto& member : fleet) {
    before.push_back(CpuNanoseconds(member->relay->pid()));
  }
  std::this_thread::sleep_for(kIdlePeriod);
  FleetFigures figures;
  double used = 0;
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    used += CpuNanoseconds(fleet[i]->relay->pid()) - before[i];
    if (fleet[i]->relay->Stderr().find("not watched") != std::string::npos) {
      ++figures.polling;
    }
  }
  figures.cpu_percent =
      100.0 * used / (std::chrono::duration<double>(kIdlePeriod).count() * 1e9);
  figures.limit = instances.limit();
  figures.raised = instances.raised();
  for (auto& member : fleet) {
    member->sandbox.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  }
  for (auto& member : fleet) member->relay->WaitForExit(30s);
  return figures;
}

void PrintRow(const std::string& what, const std::string& value,
              const std::string& target) {
  std::printf("| %-64s | %-34s | %-10s |\n", what.c_str(), value.c_str(),
              target.c_str());
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// "median M, p95 P ms (P - step)".
std::string LatencyText(const Summary& summary, double step_ms) {
  return Format("median %.2f, p95 %.2f ms (%.2f)", summary.median, summary.p95,
                summary.p95 - step_ms);
}

void PrintLatencies(const std::string& where, const Latencies& latencies,
                    double step_ms) {
  PrintRow("request -> first byte on line - 0.3 s, " + where,
           LatencyText(latencies.request, step_ms), "<= 1 ms");
  PrintRow("19-byte reply -> response file - 0.3 s, " + where,
           LatencyText(latencies.reply, step_ms), "<= 1 ms");
}

void PrintIdle(const std::string& where, const Idle& idle,
               const char* wakeup_target, const char* cpu_target) {
  PrintRow("idle wake-ups per second, " + where,
           Format("%.2f", idle.wakeups_per_second), wakeup_target);
  PrintRow("idle CPU, " + where, Format("%.4f %% of a core", idle.cpu_percent),
           cpu_target);
}

// The moments names are written in a directory (closed after writing, or
// renamed into it), as inotify reports them, so that a file the companion
// deletes at once is still seen.
class DirectoryWrites {
 public:
  explicit DirectoryWrites(const std::string& directory)
      : fd_(inotify_init1(IN_CLOEXEC)) {
    if (fd_ < 0 || inotify_add_watch(fd_, directory.c_str(),
                                     IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
      throw std::runtime_error("cannot watch " + directory);
    }
  }
  ~DirectoryWrites() { close(fd_); }

  // When `name` (in any case) is next written; throws after `limit`, with
  // what `relay` said.
  double Await(const std::string& name, std::chrono::milliseconds limit,
               const RelayProcess& relay) {
    const double deadline =
        MonotonicNow() + std::chrono::duration<double>(limit).count();
    for (;;) {
      while (!written_.empty()) {
        const auto [written, at] = written_.front();
        written_.pop_front();
        if (strcasecmp(written.c_str(), name.c_str()) == 0) return at;
      }
      if (MonotonicNow() >= deadline) break;
      ReadEvents();
    }
    throw std::runtime_error(name + " was not written: " + relay.Stderr());
  }

 private:
  void ReadEvents() {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) return;
    const auto now = MonotonicNow();
    alignas(inotify_event) char buffer[4096];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0) written_.emplace_back(event->name, now);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }

  std::deque<std::pair<std::string, double>> written_;
  int fd_;
};

// The processes `roots` and all their descendants, each once.
std::vector<pid_t> WithDescendants(std::vector<pid_t> roots) {
  for (std::size_t i = 0; i < roots.size(); ++i) {
    std::ifstream children("/proc/" + std::to_string(roots[i]) + "/task/" +
                           std::to_string(roots[i]) + "/children");
    for (pid_t child; children >> child;) roots.push_back(child);
  }
  std::sort(roots.begin(), roots.end());
  roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  return roots;
}

double TreeCpuNanoseconds(const std::vector<pid_t>& pids) {
  double total = 0;
  for (pid_t pid : pids) total += CpuNanoseconds(pid);
  return total;
}

// A DOS companion in DOSBox on `display`, started by the relay.
struct CompanionRun {
  std::string program;  // OPENPOLL.COM or FINDPOLL.COM
  int other_files = 0;  // more files in the working directory
  bool idle_helper = true;
  int first_reply_after_ms = 0;  // the device's delay before its first reply
  std::string dosbox = "";  // the DOSBox to run (dosbox-path.txt), or PATH's
};

struct CompanionTimes {
  double after_write;  // the first response written -> the next request
  double exchange;     // the first request -> the next request
  double waiting_cpu;  // % of a core: the relay, DOSBox and their children,
                       // while the companion waits for the first reply
};

void PrepareCompanion(const Sandbox& sandbox, const CompanionRun& run) {
  sandbox.MapDriveC("work");
  sandbox.MakeDirectory("work/zindo");
  sandbox.WriteFile("work/zindo/LOCAL6.DAT", "1,-1,0,521,c,c:\\zindo\\,1\r\n");
  std::ifstream program(std::string(ZINDO_DOS_COMPANIONS) + "/" + run.program,
                        std::ios::binary);
  sandbox.WriteFile("work/CO.COM",
                    std::string(std::istreambuf_iterator<char>(program), {}));
  sandbox.WriteFile("work/autoexec.pif",
                    BuildProgramInformation({"CO.COM", "", ""}));
  if (!run.idle_helper) {
    sandbox.WriteFile("prefix/dosbox.conf",
                      "[zindo-relay]\nidlehelper=false\n");
  }
  if (!run.dosbox.empty()) {
    sandbox.WriteFile("prefix/dosbox-path.txt",
                      CopyProgramInto(sandbox, run.dosbox) + "\n");
  }
  for (int i = 0; i < run.other_files; ++i) {
    std::ofstream(sandbox.Path("work/other" + std::to_string(i) + ".dat")) << i;
  }
}

// The CPU that the relay and its DOSBox use over `period`, from now.
double TreeCpuPercent(const RelayProcess& relay, const Sandbox& sandbox,
                      std::chrono::milliseconds period) {
  std::vector<pid_t> roots = DosboxProcessesIn(sandbox);
  roots.push_back(relay.pid());
  const std::vector<pid_t> pids = WithDescendants(roots);
  const double before = TreeCpuNanoseconds(pids);
  const auto start = MonotonicNow();
  std::this_thread::sleep_for(period);
  const double spent = TreeCpuNanoseconds(pids) - before;
  return 100.0 * spent / (MillisecondsSince(start) * 1e6);
}

// On `display`, or without one when it is null.
CompanionTimes TimeCompanion(const VirtualDisplay* display,
                             const CompanionRun& run) {
  Sandbox sandbox;
  PrepareCompanion(sandbox, run);
  const std::string after = Format(" after %.0f", run.first_reply_after_ms);
  DeviceSimulator device(
      sandbox, 1,
      {"prefix 1,0,67: reply 11,0,1,2,3,4,5,6,7,8,9,10,11" + after,
       "prefix 2,0,67,68: reply 12,0,1,2,3,4,5,6,7,8,9,10,11,12"});
  DirectoryWrites writes(sandbox.work());
  // A home of the relay's user's own, as a user has: DOSBox Staging ends at
  // once when it may not look at the settings folder of the tester's, and
  // cannot say its version where it may not make its own.
  sandbox.MakeDirectory("home/.config");
  std::vector<std::string> environment = {
      "HOME=" + sandbox.Path("home"),
      "XDG_CONFIG_HOME=" + sandbox.Path("home/.config")};
  if (display != nullptr) environment.push_back("DISPLAY=" + display->name());
  RelayProcess relay(sandbox, "relay", environment);
  // The relay writes the request file (a quit request) before its status
  // file as it starts; the companion's request comes after.
  writes.Await("ZINDOK.INF", 30s, relay);
  const auto first_request = writes.Await("ZINDOK1.TXT", 30s, relay);
  double waiting_cpu = 0;
  if (run.first_reply_after_ms > 4000) {
    std::this_thread::sleep_for(1500ms);
    waiting_cpu = TreeCpuPercent(relay, sandbox, 3000ms);
  }
  const auto response = writes.Await("ZINDOK2.TXT", 30s, relay);
  const auto next_request = writes.Await("ZINDOK1.TXT", 30s, relay);
  if (!WaitUntil([&] { return sandbox.Exists("work/GOT.TXT"); }, 60s)) {
    throw std::runtime_error("the DOS companion did not finish");
  }
  sandbox.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  relay.WaitForExit(20s);
  const auto ms = [](double from, double to) { return (to - from) * 1000; };
  return {ms(response, next_request), ms(first_request, next_request),
          waiting_cpu};
}

// What the relay spends on one flush: finding DOSBox's window and sending it
// Ctrl+F4, with the round trip that makes the X server take it. DOSBox
// reads the directory again on the companion's next look, which the
// companion's wait above includes.
Summary TimeFlushKey(const VirtualDisplay& display) {
  Sandbox sandbox;
  // The child reopens its standard output, which would print what is still
  // buffered here a second time.
  std::fflush(nullptr);
  const pid_t dosbox = fork();
  if (dosbox == 0) {
    setenv("DISPLAY", display.name().c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    const std::string mount = "mount c \"" + sandbox.work() + "\"";
    execlp("dosbox", "dosbox", "-conf", "/dev/null", "-c", mount.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  PosixDesktop desktop(display.name(), "");
  std::vector<double> times;
  const auto deadline = MonotonicNow() + 20;
  while (times.size() < kSamples && MonotonicNow() < deadline) {
    const auto start = MonotonicNow();
    try {
      desktop.SendControlFunctionKey(dosbox, zindo::kFlushCacheFunctionKey);
      times.push_back(MillisecondsSince(start));
    } catch (const Error&) {
      std::this_thread::sleep_for(100ms);  // no window yet
    }
    std::this_thread::sleep_for(20ms);
  }
  kill(dosbox, SIGKILL);
  waitpid(dosbox, nullptr, 0);
  if (times.empty()) throw std::runtime_error("DOSBox showed no window");
  return Summarise(times);
}

// The whole system while a compiled companion waits 5 s for a slow device
// (measured over 3 s of it, from 1.5 s after the request): the relay,
// DOSBox and their children, with the idle helper and without it; then how
// soon the companion sees the response. For each way of polling, on a
// display and without one (DOSBox draws nothing and no flush can be sent:
// the idle helper answers the FindFirst there).
void PrintWaitingRows(const VirtualDisplay& display) {
  const struct {
    const char* program;
    const VirtualDisplay* display;
  } setups[] = {{"OPENPOLL.COM", &display},
                {"FINDPOLL.COM", &display},
                {"OPENPOLL.COM", nullptr},
                {"FINDPOLL.COM", nullptr}};
  for (const auto& setup : setups) {
    for (bool helper : {true, false}) {
      // Without a display and without the helper nothing makes DOSBox see
      // the response: that companion would wait for ever.
      if (!helper && setup.display == nullptr &&
          std::string(setup.program) == "FINDPOLL.COM") {
        continue;
      }
      std::vector<double> cpu, seen;
      for (int run = 0; run < kWaitingRuns; ++run) {
        const CompanionTimes times =
            TimeCompanion(setup.display, {setup.program, 0, helper, 5000});
        cpu.push_back(times.waiting_cpu);
        seen.push_back(times.after_write);
      }
      const std::string label =
          std::string(setup.program).substr(0, 8) +
          (setup.display == nullptr ? " (no display)" : "") +
          (helper ? ", idle helper" : ", no helper");
      PrintRow(
          "waiting companion, relay + DOSBox CPU: " + label,
          Format("median %.1f, max %.1f %% of a core", Summarise(cpu).median,
                 *std::max_element(cpu.begin(), cpu.end())),
          helper ? "<= 5 %" : "");
      PrintRow("waiting companion, response -> seen: " + label,
               Format("median %.0f, max %.0f ms", Summarise(seen).median,
                      *std::max_element(seen.begin(), seen.end())),
               helper ? "<= 100 ms + flush" : "");
    }
  }
}

// A line of DOSBox for the bench: its program, "" when it is missing.
struct BenchedLine {
  DosboxLine line;
  std::string program;
  std::string label;
};

// Every line the relay knows, in its search order. A line's program is the
// one the tests built when ZINDO_ and its program's name say so
// ("dosbox-x": ZINDO_DOSBOX_X; set but empty when it is not built), else
// the one on the search path.
std::vector<BenchedLine> BenchedLines() {
  std::vector<BenchedLine> lines;
  for (const DosboxLineTraits& traits : DosboxLines()) {
    std::string variable = "ZINDO_";
    for (const char c : std::string(traits.program)) {
      variable += c == '-' ? '_' : AsciiUpper(c);
    }
    const char* built = std::getenv(variable.c_str());
    lines.push_back({traits.line,
                     built != nullptr
                         ? built
                         : FindProgram(traits.program, std::getenv("PATH")),
                     traits.name});
  }
  return lines;
}

// DOSBox's own cost at its prompt, with the companion's drive mounted and
// nothing running: started as the relay starts it, but for the companion
// and the idle helper. Measured over 3 s, from 4 s after its start.
double PromptCpuPercent(const BenchedLine& benched,
                        const VirtualDisplay* display) {
  Sandbox sandbox;
  sandbox.MakeDirectory("home");
  // The line's options, but none that would end it after the commands.
  const DosboxLineTraits& traits = TraitsOf(benched.line);
  sandbox.WriteFile("dosbox.conf",
                    DosboxConfig(traits, "", display != nullptr, "BENCH"));
  std::vector<std::string> arguments = {benched.program};
  arguments.insert(arguments.end(), traits.options.begin(),
                   traits.options.end());
  std::string mount = traits.mounts_uncached ? "mount -nocachedir " : "mount ";
  mount += "C \"" + sandbox.work() + "\"";
  arguments.insert(arguments.end(), {"-conf", sandbox.Path("dosbox.conf"), "-c",
                                     mount, "-c", "C:"});
  std::vector<std::string> command = {
      "/usr/bin/env", "SDL_AUDIODRIVER=dummy", "HOME=" + sandbox.Path("home"),
      "XDG_CONFIG_HOME=" + sandbox.Path("home"),
      display == nullptr ? "SDL_VIDEODRIVER=dummy"
                         : "DISPLAY=" + display->name()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  BackgroundProgram dosbox(sandbox, "dosbox", command);
  std::this_thread::sleep_for(4s);
  const std::vector<pid_t> pids = WithDescendants(DosboxProcessesIn(sandbox));
  if (pids.empty()) throw std::runtime_error(benched.label + " did not start");
  const double before = TreeCpuNanoseconds(pids);
  const auto start = MonotonicNow();
  std::this_thread::sleep_for(3s);
  const double spent = TreeCpuNanoseconds(pids) - before;
  return 100.0 * spent / (MillisecondsSince(start) * 1e6);
}

// The whole system while `program` waits in `benched` (see PrintLineRows);
// a companion that never sees the relay's files there gets a row saying so.
void PrintWaitingLineRow(const BenchedLine& benched,
                         const VirtualDisplay* shown, const char* program,
                         double own, const std::string& where) {
  const std::string what = "waiting " + std::string(program).substr(0, 8) +
                           ", relay + DOSBox CPU: " + where;
  std::vector<double> cpu;
  try {
    for (int run = 0; run < kWaitingRuns; ++run) {
      cpu.push_back(
          TimeCompanion(shown, {program, 0, true, 5000, benched.program})
              .waiting_cpu);
    }
  } catch (const std::exception& failure) {
    PrintRow(what, std::string("failed: ") + failure.what(), "");
    return;
  }
  PrintRow(what,
           Format("median %.1f, max %.1f %% of a core", Summarise(cpu).median,
                  *std::max_element(cpu.begin(), cpu.end())),
           Format("<= %.1f %%", own));
}

// For each line of DOSBox, on a display and without one: DOSBox's own cost
// idle at its prompt, then the whole system (relay, DOSBox, their children)
// while each compiled companion waits 5 s for a slow device, with the idle
// helper, measured in the same run.
void PrintLineRows(const VirtualDisplay& display) {
  for (const BenchedLine& benched : BenchedLines()) {
    if (benched.program.empty()) {
      PrintRow(benched.label, "not built (make other-dosboxes)", "");
      continue;
    }
    for (const VirtualDisplay* shown :
         std::vector<const VirtualDisplay*>{&display, nullptr}) {
      const std::string where =
          benched.label + (shown == nullptr ? ", no display" : ", display");
      std::vector<double> prompt;
      for (int run = 0; run < kWaitingRuns; ++run) {
        prompt.push_back(PromptCpuPercent(benched, shown));
      }
      const double own = Summarise(prompt).median;
      PrintRow("idle at its prompt, DOSBox CPU: " + where,
               Format("median %.1f, max %.1f %% of a core", own,
                      *std::max_element(prompt.begin(), prompt.end())),
               "");
      for (const char* program : {"OPENPOLL.COM", "FINDPOLL.COM"}) {
        PrintWaitingLineRow(benched, shown, program, own, where);
      }
    }
  }
}

// BIOS ticks that COST.COM (tests/dos/cost.asm), run by the relay as its
// companion without a display, counted for 10,000 failed opens and then
// 10,000 failed FindFirsts of a name that is not the relay's.
struct LookUpTicks {
  int opens;
  int finds;
};

LookUpTicks TimeOtherLookUps(bool idle_helper) {
  Sandbox sandbox;
  PrepareCompanion(sandbox, {"COST.COM", 0, idle_helper});
  DeviceSimulator device(sandbox, 1, {});
  RelayProcess relay(sandbox, "relay");
  std::string text;
  if (!WaitUntil(
          [&] {
            text = sandbox.ReadFile("work/COST.TXT").value_or("");
            return text.find("FINDS") != std::string::npos &&
                   text.ends_with("\r\n");
          },
          120s)) {
    throw std::runtime_error("COST.COM did not report: " + relay.Stderr());
  }
  sandbox.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  relay.WaitForExit(20s);
  LookUpTicks ticks{};
  std::istringstream lines(text);
  std::string label, hex;
  while (lines >> label >> hex) {
    (label == "OPENS" ? ticks.opens : ticks.finds) =
        std::stoi(hex, nullptr, 16);
  }
  return ticks;
}

// Rows that need DOSBox only: the idle helper's cost where it does not act,
// against plain DOSBox in the same run, and the FindFirst companion beside
// 10,000 other files with no display, where only the helper can answer it.
void PrintNoDisplayRows() {
  for (int run = 0; run < kWaitingRuns; ++run) {
    const LookUpTicks with = TimeOtherLookUps(true);
    const LookUpTicks without = TimeOtherLookUps(false);
    PrintRow(
        "10,000 failed opens / FindFirsts of another name, ticks",
        Format("helper %.0f / %.0f, ", with.opens, with.finds) +
            Format("plain DOSBox %.0f / %.0f", without.opens, without.finds),
        "<= +3");
  }
  std::vector<double> waits;
  for (int run = 0; run < kDosboxRuns; ++run) {
    waits.push_back(
        TimeCompanion(nullptr, {"FINDPOLL.COM", kOtherFiles}).after_write);
  }
  const Summary wait = Summarise(waits);
  PrintRow("FindFirst companion, no display, 10,000 files: response -> seen",
           Format("median %.2f, p95 %.2f ms", wait.median, wait.p95),
           "<= 100 ms");
}

void PrintDosboxRows() {
  if (!OnPath("dosbox")) {
    std::printf("(DOSBox figures left out: dosbox is missing)\n");
    return;
  }
  PrintNoDisplayRows();
  if (!OnPath("Xvfb")) {
    std::printf("(DOSBox figures on a display left out: Xvfb is missing)\n");
    return;
  }
  VirtualDisplay display;
  if (display.name().empty()) throw std::runtime_error("Xvfb did not start");
  const char* pair = "median %.2f, p95 %.2f ms";
  const Summary key = TimeFlushKey(display);
  PrintRow("flush: find DOSBox's window, send Ctrl+F4 (relay)",
           Format(pair, key.median, key.p95), "");
  for (int files : {0, kOtherFiles}) {
    std::vector<double> waits, exchanges;
    for (int run = 0; run < kDosboxRuns; ++run) {
      const CompanionTimes times =
          TimeCompanion(&display, {"FINDPOLL.COM", files});
      waits.push_back(times.after_write);
      exchanges.push_back(times.exchange);
    }
    const Summary wait = Summarise(waits);
    const Summary exchange = Summarise(exchanges);
    const std::string label = files == 0 ? "no other files" : "10,000 files";
    PrintRow("FindFirst companion: response -> seen, " + label,
             Format(pair, wait.median, wait.p95), "");
    PrintRow("FindFirst companion: whole exchange, " + label,
             Format(pair, exchange.median, exchange.p95), "");
  }
  PrintWaitingRows(display);
  PrintLineRows(display);
  std::printf("(%d key events; %d DOSBox runs per row, %d per waiting row)\n",
              kSamples, kDosboxRuns, kWaitingRuns);
}

// The same relay on a pseudo-terminal and on an RFC 2217 port through
// ser2net on loopback, one after the other, with no other files about.
void PrintNetworkRows() {
  if (!OnPath("ser2net")) {
    PrintRow("rfc2217:// port through ser2net", "ser2net is not installed", "");
    return;
  }
  for (const PortKind kind : {PortKind::kPseudoTerminal, PortKind::kRfc2217}) {
    const std::string where = kind == PortKind::kRfc2217
                                  ? "rfc2217:// via ser2net"
                                  : "pty, beside rfc2217";
    Bench bench({}, false, kind);
    PrintIdle(where, bench.MeasureIdle(kIdlePeriod), "0", "<= 0.01 %");
    const double now = SecondsSinceMidnightNow();
    PrintLatencies(where, MeasureLatencies(bench), StepMs(now));
  }
}

bool HaveFakeTime() { return std::ifstream(kFakeTimeLibrary).good(); }

double LoadAverage() {
  double load = 0;
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

void PrintHeader() {
  std::printf("load average at the start: %.2f on %u processors\n",
              LoadAverage(), std::thread::hardware_concurrency());
  std::printf("| %-64s | %-34s | %-10s |\n", "measure", "measured", "target");
  std::printf("|%s|%s|%s|\n", std::string(66, '-').c_str(),
              std::string(36, '-').c_str(), std::string(12, '-').c_str());
}

// With "network", "dosbox" or "lines", only those rows.
int Run(const std::string& only) {
  PrintHeader();
  if (only == "network") {
    PrintNetworkRows();
    return 0;
  }
  if (only == "dosbox") {
    PrintDosboxRows();
    return 0;
  }
  if (only == "lines") {
    if (!OnPath("Xvfb")) throw std::runtime_error("Xvfb is not installed");
    VirtualDisplay display;
    if (display.name().empty()) throw std::runtime_error("Xvfb did not start");
    PrintLineRows(display);
    return 0;
  }
  if (only == "helper") {
    PrintNoDisplayRows();
    return 0;
  }
  {
    Bench bench;
    bench.AddOtherFiles(kOtherFiles);
    PrintIdle("local directory, 10,000 other files",
              bench.MeasureIdle(kIdlePeriod), "<= 0.1", "<= 0.01 %");
    const double now = SecondsSinceMidnightNow();
    const Latencies latencies = MeasureLatencies(bench);
    PrintLatencies(
        "at " + TimeOfDay(now) + Format(", step %.3f ms", StepMs(now)),
        latencies, StepMs(now));
    PrintRow("private memory (Private_Clean + Private_Dirty)",
             Format("%.0f KiB", bench.PrivateMemoryKib()), "<= 1 MiB");
    PrintRow("peak resident memory (VmHWM), mostly shared libraries",
             Format("%.2f MiB", bench.PeakKib() / 1024.0), "");
  }
  if (HaveFakeTime()) {
    Bench bench({"LD_PRELOAD=" + std::string(kFakeTimeLibrary),
                 "FAKETIME=@2026-01-01 " + std::string(kEarlyInTheDay),
                 "FAKETIME_DONT_FAKE_MONOTONIC=1"});
    bench.AddOtherFiles(kOtherFiles);
    const double early = 600.0;
    PrintLatencies("at " + TimeOfDay(early) +
                       Format(" (libfaketime), step %.3f ms", StepMs(early)),
                   MeasureLatencies(bench), StepMs(early));
  } else {
    PrintRow("latencies at 00:10", "libfaketime is not installed", "");
  }
  {
    Bench bench({}, /*traced=*/true);
    bench.AddOtherFiles(kOtherFiles);
    const double now = SecondsSinceMidnightNow();
    PrintLatencies("with ZINDO_TRACE", MeasureLatencies(bench), StepMs(now));
  }
  {
    Bench bench({"ZINDO_POLL_DIRECTORY=1"});
    bench.AddOtherFiles(kOtherFiles);
    PrintIdle("as on a network share (ZINDO_POLL_DIRECTORY=1), 10,000 files",
              bench.MeasureIdle(kIdlePeriod), "", "");
    const Latencies latencies = MeasureLatencies(bench, 20, false);
    PrintRow("request -> first byte - 0.3 s, as on a network share",
             Format("median %.1f, p95 %.1f ms", latencies.request.median,
                    latencies.request.p95),
             "");
  }
  {
    // A stop signal where the relay waits: idle, in the middle of a reply's
    // 6 s collection, and in a recovery cycle (its port closed).
    const double idle = Bench().SignalToEndMs("", 500ms);
    const double collecting =
        Bench().SignalToEndMs(std::string("\3\0\7\10\11", 5), 1s);
    const double recovering = Bench().SignalToEndMs(std::string(1, '\0'), 8s);
    PrintRow("SIGTERM -> relay ended: idle / collecting / recovering",
             Format("%.1f / %.1f / %.1f ms", idle, collecting, recovering),
             "<= 100 ms");
  }
  PrintNetworkRows();
  const FleetFigures fleet = MeasureFleet(kFleetSize);
  PrintRow(Format("%.0f idle relays together, CPU", kFleetSize),
           Format("%.4f %% of one core", fleet.cpu_percent), "< 1 %");
  std::printf(
      "(%d requests and %d replies per latency row, in parentheses the p95 "
      "minus the clock's step; %d of the %d relays polled their directory, "
      "with fs.inotify.max_user_instances at %d%s)\n",
      kSamples, kSamples, fleet.polling, kFleetSize, fleet.limit,
      fleet.raised ? ", raised for the bench" : "");
  PrintDosboxRows();
  return 0;
}

}  // namespace
}  // namespace zindo::e2e

// relay_bench [network | dosbox | helper | lines]: every figure, or only
// those.
int main(int argc, char** argv) {
  // A thousand relays need a thousand pseudo-terminals open here.
  rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  try {
    return zindo::e2e::Run(argc > 1 ? argv[1] : "");
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "relay_bench: %s\n", failure.what());
    return 1;
  }
}

// Measures the real relay on a pseudo-terminal and prints a table: the CPU
// an idle relay uses, how long requests and replies take beyond the relay's
// own fixed 0.3 s waits, and its peak memory; then, where DOSBox and Xvfb
// are installed, what making DOSBox see a new file costs and how long a DOS
// companion that polls with FindFirst waits for each response. Figures, not
// verdicts: the targets are printed beside them, and the exit status says only
// whether the measurement itself worked.

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dos/program_information.h"
#include "platform/desktop-posix.h"
#include "platform/error.h"
#include "tests/bench/process_figures.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kOtherFiles = 10'000;
constexpr int kSamples = 60;
constexpr int kDosboxRuns = 5;
constexpr double kFixedWaitMs = 300.0;  // the relay's own settle time

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

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

// One relay serving a sandbox whose COM1 is a pseudo-terminal.
class Bench {
 public:
  // With `traced`, the relay keeps a trace in the sandbox.
  explicit Bench(bool traced) {
    sandbox_.MapPort(1, com1_);
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.MakeDirectory("logs");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif", "#!/bin/sh\ntouch started\n", 0755);
    std::vector<std::string> environment;
    if (traced) {
      environment.push_back("ZINDO_TRACE=" + sandbox_.Path("logs/trace.log"));
    }
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

  double IdleCpuPercent(std::chrono::seconds period) {
    std::this_thread::sleep_for(1s);  // let the new files settle
    const double before = CpuNanoseconds(relay_->pid());
    std::this_thread::sleep_for(period);
    const double used = CpuNanoseconds(relay_->pid()) - before;
    return 100.0 * used / std::chrono::nanoseconds(period).count();
  }

  // Milliseconds from a request file's appearance to its first byte on the
  // line, beyond the relay's 0.3 s wait.
  double RequestLatency(int turn) {
    const std::string request{1, 5, static_cast<char>(turn)};
    sandbox_.WriteFile("work/ZINDOK1.TXT", request);
    const auto written = Clock::now();
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
    const auto sent = Clock::now();
    device_.Send(reply);
    while (sandbox_.ReadFile("work/zindoK2.txt") != expected) {
      if (MillisecondsSince(sent) > 10'000) throw std::runtime_error("late");
      std::this_thread::sleep_for(200us);
    }
    return MillisecondsSince(sent) - kFixedWaitMs;
  }

  long PeakKib() { return StatusKib(relay_->pid(), "VmHWM"); }

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
    const auto sent = Clock::now();
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
  std::unique_ptr<RelayProcess> relay_;
};

struct Latencies {
  Summary request;
  Summary reply;
};

Latencies MeasureLatencies(Bench& bench) {
  std::vector<double> requests;
  std::vector<double> replies;
  for (int turn = 0; turn < kSamples; ++turn) {
    requests.push_back(bench.RequestLatency(turn));
    replies.push_back(bench.ReplyLatency(turn));
    std::this_thread::sleep_for(20ms);
  }
  return {Summarise(requests), Summarise(replies)};
}

void PrintRow(const char* what, const std::string& value, const char* target) {
  std::printf("| %-52s | %-24s | %-10s |\n", what, value.c_str(), target);
}

std::string Format(const char* format, double a, double b = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// A FindFirst-polling DOS companion in DOSBox on `display`, started by the
// relay in a working directory with `other_files` more files: how long it
// waits after the relay writes the first response (until its next request
// appears), and how long that first exchange takes as it sees it (request
// to next request).
struct CompanionTimes {
  double after_write;
  double exchange;
};

CompanionTimes TimeFindFirstCompanion(const VirtualDisplay& display,
                                      int other_files) {
  Sandbox sandbox;
  sandbox.MapDriveC("work");
  sandbox.MakeDirectory("work/zindo");
  sandbox.WriteFile("work/zindo/LOCAL6.DAT", "1,-1,0,521,c,c:\\zindo\\,1\r\n");
  std::ifstream program(std::string(ZINDO_DOS_COMPANIONS) + "/FINDPOLL.COM",
                        std::ios::binary);
  sandbox.WriteFile("work/CO.COM",
                    std::string(std::istreambuf_iterator<char>(program), {}));
  sandbox.WriteFile("work/autoexec.pif",
                    BuildProgramInformation({"CO.COM", "", ""}));
  for (int i = 0; i < other_files; ++i) {
    std::ofstream(sandbox.Path("work/other" + std::to_string(i) + ".dat")) << i;
  }
  const std::string first = "11,0,1,2,3,4,5,6,7,8,9,10,11";
  DeviceSimulator device(sandbox, 1,
                         {"prefix 1,0,67: reply " + first,
                          "prefix 2,0,67,68: reply 12,0,1,2,3,4,5,6,7,8,9,"
                          "10,11,12"});
  RelayProcess relay(sandbox, "relay", {"DISPLAY=" + display.name()});
  const auto await = [&](const std::function<bool()>& condition) {
    while (!condition()) {
      if (!relay.IsRunning()) throw std::runtime_error(relay.Stderr());
      std::this_thread::sleep_for(200us);
    }
    return Clock::now();
  };
  const auto request = [&] { return sandbox.Exists("work/ZINDOK1.TXT"); };
  const auto first_request = await(request);
  const auto response = await([&] {
    return sandbox.ReadFile("work/ZINDOK2.TXT") == "/0," + first + "\r\n";
  });
  const auto next_request = await(request);
  if (!WaitUntil([&] { return sandbox.Exists("work/GOT.TXT"); }, 60s)) {
    throw std::runtime_error("the DOS companion did not finish");
  }
  sandbox.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
  relay.WaitForExit(20s);
  const auto ms = [](auto from, auto to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
  };
  return {ms(response, next_request), ms(first_request, next_request)};
}

// What the relay spends on one flush: finding DOSBox's window and sending it
// Ctrl+F4, with the round trip that makes the X server take it. DOSBox
// reads the directory again on the companion's next look, which the
// companion's wait above includes.
Summary TimeFlushKey(const VirtualDisplay& display) {
  Sandbox sandbox;
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
  const auto deadline = Clock::now() + 20s;
  while (times.size() < kSamples && Clock::now() < deadline) {
    const auto start = Clock::now();
    try {
      desktop.SendControlKey(dosbox, "F4");
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

void PrintDosboxRows() {
  if (!OnPath("dosbox") || !OnPath("Xvfb")) {
    std::printf("(DOSBox figures left out: dosbox or Xvfb is missing)\n");
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
      const CompanionTimes times = TimeFindFirstCompanion(display, files);
      waits.push_back(times.after_write);
      exchanges.push_back(times.exchange);
    }
    const Summary wait = Summarise(waits);
    const Summary exchange = Summarise(exchanges);
    const std::string label = files == 0 ? "no other files" : "10,000 files";
    PrintRow(("FindFirst companion: response -> seen, " + label).c_str(),
             Format(pair, wait.median, wait.p95), "");
    PrintRow(("FindFirst companion: whole exchange, " + label).c_str(),
             Format(pair, exchange.median, exchange.p95), "");
  }
  std::printf("(%d key events; %d DOSBox runs per row)\n", kSamples,
              kDosboxRuns);
}

int Run() {
  Bench bench(/*traced=*/false);
  bench.AddOtherFiles(kOtherFiles);
  const double idle = bench.IdleCpuPercent(10s);
  const Latencies plain = MeasureLatencies(bench);
  const long peak = bench.PeakKib();
  Bench traced(/*traced=*/true);
  traced.AddOtherFiles(kOtherFiles);  // so that only the trace differs
  const Latencies with_trace = MeasureLatencies(traced);

  // A stop signal where the relay waits: idle, in the middle of a reply's
  // 6 s collection, and in a recovery cycle (its port closed).
  const double stop_idle = Bench(false).SignalToEndMs("", 500ms);
  const double stop_collecting =
      Bench(false).SignalToEndMs(std::string("\3\0\7\10\11", 5), 1s);
  const double stop_recovering =
      Bench(false).SignalToEndMs(std::string(1, '\0'), 8s);

  std::printf("| %-52s | %-24s | %-10s |\n", "measure", "measured", "target");
  std::printf("|%s|%s|%s|\n", std::string(54, '-').c_str(),
              std::string(26, '-').c_str(), std::string(12, '-').c_str());
  PrintRow("idle CPU over 10 s, 10,000 other files (% of a core)",
           Format("%.3f %%", idle), "<= 0.2 %");
  const char* pair = "median %.2f, p95 %.2f ms";
  PrintRow("request appears -> first byte on line, - 0.3 s",
           Format(pair, plain.request.median, plain.request.p95), "<= 10 ms");
  PrintRow("19-byte reply -> response file, - 0.3 s",
           Format(pair, plain.reply.median, plain.reply.p95), "<= 10 ms");
  PrintRow("the same with ZINDO_TRACE: request",
           Format(pair, with_trace.request.median, with_trace.request.p95), "");
  PrintRow("the same with ZINDO_TRACE: reply",
           Format(pair, with_trace.reply.median, with_trace.reply.p95), "");
  PrintRow("peak resident memory (VmHWM)", Format("%.2f MiB", peak / 1024.0),
           "<= 4 MiB");
  PrintRow("SIGTERM -> relay ended: idle / collecting / recovering",
           Format("%.1f / %.1f / ", stop_idle, stop_collecting) +
               Format("%.1f ms", stop_recovering),
           "<= 100 ms");
  std::printf("(%d requests and %d replies per row)\n", kSamples, kSamples);
  PrintDosboxRows();
  return 0;
}

}  // namespace
}  // namespace zindo::e2e

int main() {
  try {
    return zindo::e2e::Run();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "relay_bench: %s\n", failure.what());
    return 1;
  }
}

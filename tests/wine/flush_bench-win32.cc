// What the relay spends on one flush under Wine: Win32Desktop finding
// DOSBox's window and posting it Ctrl+F4, the relay's own code. Starts the
// DOSBox it is given at its prompt, with SDL's windib driver as the relay
// starts it, waits for its window, sends the key kSamples times and prints
// "MEDIAN P95" in milliseconds. Ends DOSBox whatever happens.
//
//   wine flush_bench.exe DOSBOX_EXE

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "dos/dosbox_settings.h"
#include "platform/desktop/desktop-win32.h"
#include "platform/system/clock.h"
#include "platform/windows-win32.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSamples = 60;

std::vector<double> TimeKeys(DWORD dosbox) {
  zindo::Win32Desktop desktop;
  std::vector<double> times;
  const double deadline = zindo::MonotonicNow() + 30;
  while (times.size() < kSamples && zindo::MonotonicNow() < deadline) {
    const double start = zindo::MonotonicNow();
    try {
      desktop.SendControlFunctionKey(static_cast<int>(dosbox),
                                     zindo::kFlushCacheFunctionKey);
      times.push_back((zindo::MonotonicNow() - start) * 1000);
    } catch (const zindo::Error&) {
      std::this_thread::sleep_for(100ms);  // no window yet
    }
    std::this_thread::sleep_for(20ms);
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: flush_bench DOSBOX_EXE\n");
    return 2;
  }
  ::SetEnvironmentVariableA("SDL_VIDEODRIVER", "windib");
  std::string line = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessA(argv[1], line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &started)) {
    std::fprintf(stderr, "flush_bench: cannot start %s\n", argv[1]);
    return 1;
  }
  std::vector<double> times = TimeKeys(started.dwProcessId);
  ::TerminateProcess(started.hProcess, 0);
  ::CloseHandle(started.hProcess);
  ::CloseHandle(started.hThread);
  if (times.empty()) {
    std::fprintf(stderr, "flush_bench: DOSBox showed no window\n");
    return 1;
  }
  std::sort(times.begin(), times.end());
  std::printf("%.2f %.2f\n", times[times.size() / 2],
              times[(times.size() * 95) / 100]);
  return 0;
}

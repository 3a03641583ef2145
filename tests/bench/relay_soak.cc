// Soak: many exchanges through the real relay with zindo-devsim playing the
// device, which echoes each request as its reply, whole or in chunks, in
// lengths from 13 to 159 bytes. Checks that every request reached the line
// once and in order and that every reply was reported whole, and compares
// the relay's memory and descriptors after the run with those before it.
// Prints the figures; exits 1 when a check fails or anything grew.
//
// Usage: relay_soak [EXCHANGES]   (1,000 by default)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "exchange/request_encoder.h"
#include "platform/system/clock.h"
#include "tests/bench/process_figures.h"
#include "tests/e2e/relay_harness.h"

namespace zindo::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int kDefaultExchanges = 1000;
// Exchanges before the first figures, so that what the relay sets up on its
// first requests and replies does not count as growth.
constexpr int kWarmUpExchanges = 20;
// Memory may move by a few pages (the C library's arenas trim and grow);
// anything more is growth.
constexpr long kMemorySlackKib = 64;

// Reply shapes, one per length: the device echoes a message of each length
// in its own way. Every chunk gap stays well inside the relay's 0.3 s
// sample, so each reply is collected whole.
const std::vector<std::string> kDeviceRules = {
    "prefix 11: echo",                   // 13 bytes, the fewest that settle
    "prefix 17: echo chunks 5 gap 60",   // 19, as the device answers
    "prefix 38: echo after 120",         // 40, after a delay
    "prefix 98: echo chunks 9 gap 25",   // 100
    "prefix 157: echo chunks 40 gap 5",  // 159, the longest
};
constexpr int kLengths[] = {13, 19, 40, 100, 159};

// The device message of exchange `turn`: header, then the turn number, then
// a pattern that changes with it, so that no two nearby messages agree.
std::string Message(int turn) {
  const int length = kLengths[turn % std::size(kLengths)];
  std::string message(static_cast<std::size_t>(length), '\0');
  message[0] = static_cast<char>(length - 2);
  message[2] = static_cast<char>(turn & 0xff);
  message[3] = static_cast<char>(turn >> 8);
  for (int i = 4; i < length; ++i) {
    message[i] = static_cast<char>((turn * 7 + i * (turn % 5 + 1)) & 0xff);
  }
  return message;
}

std::string ResponseLine(const std::string& reply) {
  std::string line = "/0";
  for (char byte : reply) {
    line += "," + std::to_string(static_cast<unsigned char>(byte));
  }
  return line + "\r\n";
}

// The messages the simulator logged as received ("<- 0x0B 0x00 ...  11 0"),
// in order.
std::vector<std::string> ReceivedMessages(const std::string& log) {
  std::vector<std::string> messages;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t arrow = line.find("<- ");
    if (arrow == std::string::npos) continue;
    std::istringstream hex(
        line.substr(arrow + 3, line.find("  ", arrow) - (arrow + 3)));
    std::string message;
    for (std::string byte; hex >> byte;) {
      message += static_cast<char>(std::stoi(byte, nullptr, 16));
    }
    messages.push_back(message);
  }
  return messages;
}

struct Figures {
  long resident_kib;
  long private_kib;
  int descriptors;
  double cpu_seconds;
};

Figures Measure(pid_t pid) {
  return {StatusKib(pid, "VmRSS"), PrivateKib(pid), OpenDescriptors(pid),
          CpuNanoseconds(pid) / 1e9};
}

class Soak {
 public:
  Soak() {
    sandbox_.MakeDirectory("prefix/drive_c/zindo");
    sandbox_.WriteFile("prefix/drive_c/zindo/LOCAL6.DAT",
                       "1,-1,0,521,c,c:\\zindo\\,1\r\n");
    sandbox_.WriteFile("work/autoexec.pif", "#!/bin/sh\ntouch started\n", 0755);
    device_ = std::make_unique<DeviceSimulator>(sandbox_, 1, kDeviceRules);
    relay_ = std::make_unique<RelayProcess>(sandbox_);
    if (!WaitUntil([&] { return sandbox_.Exists("work/started"); }, 20s)) {
      throw std::runtime_error("the relay did not start: " + relay_->Stderr());
    }
  }

  // One request, and the wait for its echo to be reported.
  void Exchange(int turn) {
    const std::string message = Message(turn);
    sent_.push_back(message);
    sandbox_.WriteFile("work/ZINDOK1.TXT", EncodeRequest(message));
    const std::string expected = ResponseLine(message);
    if (!WaitUntil(
            [&] { return sandbox_.ReadFile("work/zindoK2.txt") == expected; },
            20s)) {
      throw std::runtime_error(
          "exchange " + std::to_string(turn) + ": the response is " +
          sandbox_.ReadFile("work/zindoK2.txt").value_or("missing") +
          " instead of " + expected + "relay: " + relay_->Stderr());
    }
  }

  // Whether the line got exactly the messages sent, in order.
  bool LineGotEverythingOnceInOrder() const {
    return ReceivedMessages(device_->Log()) == sent_;
  }

  int Quit() {
    sandbox_.WriteFile("work/ZINDOK1.TXT", std::string("\1\0\0\r\n", 5));
    return relay_->WaitForExit(20s).value_or(-1);
  }

  pid_t relay_pid() const { return relay_->pid(); }

 private:
  Sandbox sandbox_;
  std::unique_ptr<DeviceSimulator> device_;
  std::unique_ptr<RelayProcess> relay_;
  std::vector<std::string> sent_;
};

void PrintFigures(const char* when, const Figures& figures) {
  std::printf(
      "%-6s resident %6ld KiB  private %6ld KiB  descriptors %3d  "
      "CPU %8.3f s\n",
      when, figures.resident_kib, figures.private_kib, figures.descriptors,
      figures.cpu_seconds);
}

int Run(int exchanges) {
  Soak soak;
  for (int turn = 0; turn < kWarmUpExchanges; ++turn) soak.Exchange(turn);
  const Figures start = Measure(soak.relay_pid());
  const double began = zindo::MonotonicNow();
  for (int turn = 0; turn < exchanges; ++turn) {
    soak.Exchange(kWarmUpExchanges + turn);
    if ((turn + 1) % 100 == 0) {
      std::printf("%d exchanges\n", turn + 1);
      std::fflush(stdout);
    }
  }
  const double seconds = zindo::MonotonicNow() - began;
  const Figures end = Measure(soak.relay_pid());
  PrintFigures("start", start);
  PrintFigures("end", end);
  std::printf("%d exchanges in %.1f s; relay CPU %.2f ms per exchange\n",
              exchanges, seconds,
              (end.cpu_seconds - start.cpu_seconds) * 1e3 / exchanges);

  int failures = 0;
  const auto check = [&](bool holds, const char* what) {
    std::printf("%-58s %s\n", what, holds ? "ok" : "FAILED");
    failures += holds ? 0 : 1;
  };
  std::printf("%-58s %s\n", "every reply reported whole, in its turn", "ok");
  check(soak.LineGotEverythingOnceInOrder(),
        "every request on the line once, in order");
  check(end.resident_kib <= start.resident_kib + kMemorySlackKib,
        "resident memory flat (within 64 KiB)");
  check(end.private_kib <= start.private_kib + kMemorySlackKib,
        "private memory flat (within 64 KiB)");
  check(end.descriptors <= start.descriptors, "no descriptor more");
  check(soak.Quit() == 0, "the quit request ends the relay with 0");
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace zindo::e2e

int main(int argc, char** argv) {
  const int exchanges =
      argc > 1 ? std::atoi(argv[1]) : zindo::e2e::kDefaultExchanges;
  if (exchanges <= 0) {
    std::fprintf(stderr, "usage: relay_soak [EXCHANGES]\n");
    return 2;
  }
  try {
    return zindo::e2e::Run(exchanges);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "relay_soak: %s\n", failure.what());
    return 1;
  }
}

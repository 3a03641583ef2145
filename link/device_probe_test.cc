#include "link/device_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/device_line_test.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using line_test::Reply;
using Kind = ProbeAnswer::Kind;

// What the device sends, `after` seconds after the probe reached it.
struct Sent {
  double after;
  std::string bytes;
};

// The device answers the probe as each row says; the answer is judged from
// what came within the 2 s the recovery cycle gives it, whole or in parts.
TEST(ProbeDeviceTest, TellsAnAnswerAnEmptyFrameAndSilence) {
  const struct {
    const char* name;
    std::vector<Sent> device;
    Kind kind;
    std::string bytes;
    double first_byte;
  } cases[] = {
      {"a whole reply",
       {{0.25, Reply(17, 19)}},
       Kind::kAnswered,
       Reply(17, 19),
       0.25},
      {"a reply in two parts, the last late in the wait",
       {{0.1, Reply(17, 19).substr(0, 5)}, {1.9, Reply(17, 19).substr(5)}},
       Kind::kAnswered,
       Reply(17, 19),
       0.1},
      {"an empty frame",
       {{0.5, std::string(1, '\0')}},
       Kind::kEmptyFrame,
       std::string(1, '\0'),
       0.5},
      {"silence", {}, Kind::kSilent, "", -1},
      {"an answer after the wait is no answer",
       {{2.3, Reply(17, 19)}},
       Kind::kSilent,
       "",
       -1},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    TimedWaits waits(fake.clock, fake.events);
    SerialPort port(fake.ports);
    port.SetCommPort(3);
    FakeLine& line = fake.ports.line(3);
    line.received = "stale";  // sent before the probe: no answer to it
    line.on_write = [&](const std::string&) {
      for (const Sent& sent : c.device) {
        fake.events.After(sent.after,
                          [&line, sent] { line.received += sent.bytes; });
      }
    };
    const double start = fake.clock.monotonic();

    const ProbeAnswer answer = ProbeDevice(port, waits, BuildDevicePackets());

    EXPECT_EQ(answer.kind, c.kind) << c.name;
    EXPECT_EQ(answer.bytes, c.bytes) << c.name;
    EXPECT_NEAR(answer.first_byte_seconds, c.first_byte, 0.011) << c.name;
    EXPECT_EQ(line.written, BuildDevicePackets().probe) << c.name;
    EXPECT_FALSE(line.open) << c.name;
    // Settled 2 s after RTS came up, then listened for 2 s, not longer.
    EXPECT_NEAR(fake.clock.monotonic() - start, 4.0, 0.011) << c.name;
    EXPECT_EQ(fake.journal.entries().front(), "open COM3 19200,N,8,1")
        << c.name;
    EXPECT_EQ(fake.journal.entries().at(1), "rts on") << c.name;
  }
}

}  // namespace
}  // namespace zindo

#ifndef ZINDO_LINK_DEVICE_LINE_TEST_H_
#define ZINDO_LINK_DEVICE_LINE_TEST_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/test_bytes.h"
#include "link/device_message.h"
#include "link/serial_port.h"
#include "link/timed_waits.h"
#include "platform/fake/fake_platform.h"

namespace zindo::line_test {

// A reply of `length` bytes whose first byte is `announced`; byte i (from 1)
// holds i, so that any reordering or loss shows.
inline std::string Reply(int announced, int length) {
  std::string reply(1, static_cast<char>(announced));
  for (int i = 2; i <= length; ++i) reply += static_cast<char>(i);
  return reply;
}

// COM1 on the fake platform, open, with the device at its other end played
// by the test: for the tests of what talks to the device.
class DeviceLineTest : public ::testing::Test {
 protected:
  DeviceLineTest() { port_.SetPortOpen(true); }

  FakeLine& line() { return fake_.ports.line(1); }
  void DeviceSends(const std::string& bytes) { line().received += bytes; }
  void DeviceSendsAfter(double seconds, const std::string& bytes) {
    fake_.events.After(seconds, [this, bytes] { DeviceSends(bytes); });
  }

  FakePlatform fake_;
  SerialPort port_{fake_.ports};
  TimedWaits waits_{fake_.clock, fake_.events};
  const DevicePackets packets_ = BuildDevicePackets();
};

}  // namespace zindo::line_test

#endif  // ZINDO_LINK_DEVICE_LINE_TEST_H_

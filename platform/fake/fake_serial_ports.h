#ifndef ZINDO_PLATFORM_FAKE_FAKE_SERIAL_PORTS_H_
#define ZINDO_PLATFORM_FAKE_FAKE_SERIAL_PORTS_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake/fake_journal.h"
#include "platform/serial/serial_device.h"

namespace zindo {

// The far end of a fake serial line: what the relay wrote and what the
// device will send. Shared by every open of one port.
struct FakeLine {
  std::string received;  // bytes the device sent, not yet read by the relay
  std::string written;   // every byte the relay sent, in order
  bool carrier_detect = false;
  bool rts = false;
  bool gone = false;  // the device has been unplugged
  bool open = false;
  // The device's side of the conversation: called with every write of the
  // relay, after it is added to `written`.
  std::function<void(const std::string&)> on_write;
};

class FakeSerialPorts : public SerialPorts {
 public:
  explicit FakeSerialPorts(FakeJournal& journal) : journal_(journal) {}

  bool IsValidPortNumber(int port) override { return port >= 1 && port <= 255; }
  std::unique_ptr<SerialDevice> Open(int port,
                                     const LineSettings& settings) override;
  std::vector<KnownPort> KnownPorts() override { return known; }

  FakeLine& line(int port) { return lines_[port]; }
  // Makes every open of `port` fail with `message`.
  void FailOpen(int port, const std::string& message);
  // The port opened last, or 0.
  int last_opened() const { return last_opened_; }

  // The ports the machine has, as KnownPorts gives them.
  std::vector<KnownPort> known;

 private:
  FakeJournal& journal_;
  std::map<int, FakeLine> lines_;
  std::map<int, std::string> open_failures_;
  int last_opened_ = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_SERIAL_PORTS_H_

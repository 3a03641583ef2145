#include "platform/fake/fake_serial_ports.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/error.h"

namespace zindo {

namespace {

class FakeSerialDevice : public SerialDevice {
 public:
  FakeSerialDevice(int port, FakeLine& line, FakeJournal& journal)
      : name_("COM" + std::to_string(port)), line_(line), journal_(journal) {
    line_.open = true;
  }
  ~FakeSerialDevice() override {
    line_.open = false;
    journal_.Record("close " + name_);
  }
  void SetRts(bool on) override {
    CheckPresent();
    line_.rts = on;
    journal_.Record(std::string("rts ") + (on ? "on" : "off"));
  }
  bool CarrierDetect() override {
    CheckPresent();
    return line_.carrier_detect;
  }
  int BytesWaiting() override {
    CheckPresent();
    return static_cast<int>(line_.received.size());
  }
  std::string ReadAll() override {
    CheckPresent();
    journal_.Record("input " + HexBytes(line_.received));
    return std::exchange(line_.received, "");
  }
  void Write(const std::string& bytes) override {
    CheckPresent();
    journal_.Record("output " + HexBytes(bytes));
    line_.written += bytes;
    if (line_.on_write) line_.on_write(bytes);
  }

 private:
  void CheckPresent() const {
    if (line_.gone)
      throw Error(name_ + ": Input/output error", ErrorKind::kGone);
  }
  std::string name_;
  FakeLine& line_;
  FakeJournal& journal_;
};

std::string SettingsText(const LineSettings& settings) {
  static const char kParity[] = {'N', 'O', 'E', 'M', 'S'};
  return std::to_string(settings.baud) + "," +
         kParity[static_cast<int>(settings.parity)] + "," +
         std::to_string(settings.data_bits) + "," +
         std::to_string(settings.stop_bits);
}

}  // namespace

std::unique_ptr<SerialDevice> FakeSerialPorts::Open(
    int port, const LineSettings& settings) {
  std::string name = "COM" + std::to_string(port);
  journal_.Record("open " + name + " " + SettingsText(settings));
  if (auto failure = open_failures_.find(port);
      failure != open_failures_.end()) {
    throw Error(failure->second);
  }
  FakeLine& fake_line = lines_[port];
  if (fake_line.open) {
    throw Error(name + ": " + kPortInUse, ErrorKind::kBusy);
  }
  if (fake_line.gone) {
    throw Error(name + ": " + NoSuchPortText(known), ErrorKind::kNotFound);
  }
  last_opened_ = port;
  return std::make_unique<FakeSerialDevice>(port, fake_line, journal_);
}

void FakeSerialPorts::FailOpen(int port, const std::string& message) {
  open_failures_[port] = message;
}

}  // namespace zindo

#include "link/serial_port.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

#include "base/error.h"

namespace zindo {

namespace {

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// A whole field of decimal digits within [low, high], or -1.
int ParseBounded(const std::string& field, int low, int high) {
  int value = 0;
  auto [end, error] =
      std::from_chars(field.data(), field.data() + field.size(), value);
  if (field.empty() || error != std::errc() ||
      end != field.data() + field.size() || value < low || value > high) {
    return -1;
  }
  return value;
}

bool ParseParity(const std::string& field, Parity* parity) {
  if (field.size() != 1) return false;
  switch (std::toupper(static_cast<unsigned char>(field[0]))) {
    case 'N':
      *parity = Parity::kNone;
      return true;
    case 'O':
      *parity = Parity::kOdd;
      return true;
    case 'E':
      *parity = Parity::kEven;
      return true;
    case 'M':
      *parity = Parity::kMark;
      return true;
    case 'S':
      *parity = Parity::kSpace;
      return true;
    default:
      return false;
  }
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
  std::vector<std::string> fields = SplitFields(text);
  LineSettings settings;
  bool valid = fields.size() == 4 && ParseParity(fields[1], &settings.parity);
  if (valid) {
    settings.baud = ParseBounded(fields[0], 1, 4'000'000);
    settings.data_bits = ParseBounded(fields[2], 5, 8);
    settings.stop_bits = ParseBounded(fields[3], 1, 2);
    valid =
        settings.baud > 0 && settings.data_bits > 0 && settings.stop_bits > 0;
  }
  if (!valid) throw Error("invalid line settings \"" + text + "\"");
  return settings;
}

std::string SerialPort::Name() const { return "COM" + std::to_string(port_); }

SerialDevice& SerialPort::OpenDevice(const char* property) {
  if (!device_) throw Error(Name() + ": " + property + ": port is not open");
  return *device_;
}

// What the user can act on comes first; the system's words follow for the
// one who looks further.
Error SerialPort::WentAway(const Error& error, bool over_network) const {
  const char* what = over_network
                         ? "the serial server went away (switched off, or the "
                           "network down?)"
                         : "the device went away (adapter unplugged?)";
  return Error(Name() + ": " + what + ": " + error.what(), ErrorKind::kGone);
}

template <typename Operation>
auto SerialPort::OnDevice(const char* property, Operation operation) {
  SerialDevice& device = OpenDevice(property);
  try {
    return operation(device);
  } catch (const Error& error) {
    if (!error.Is(ErrorKind::kGone)) throw;
    throw WentAway(error, device.OverNetwork());
  }
}

void SerialPort::SetCommPort(int16_t port) {
  if (device_) throw Error(Name() + ": CommPort: port is already open");
  if (!ports_.IsValidPortNumber(port)) {
    throw Error("CommPort: there is no port " + std::to_string(port));
  }
  port_ = port;
}

void SerialPort::SetSettings(const std::string& settings) {
  settings_ = ParseLineSettings(settings);
}

void SerialPort::SetInputLen(int16_t length) {
  if (length < 0) throw Error("InputLen: negative length");
  input_len_ = length;
}

void SerialPort::SetPortOpen(bool open) {
  if (!open) {
    device_.reset();
    unread_.clear();
    return;
  }
  if (device_) throw Error(Name() + ": PortOpen: port is already open");
  try {
    device_ = ports_.Open(port_, settings_);
    if (rts_enable_) device_->SetRts(true);
    opened_over_network_ = device_->OverNetwork();
  } catch (const Error& error) {
    device_.reset();
    if (opened_over_network_ &&
        (error.Is(ErrorKind::kNotFound) || error.Is(ErrorKind::kGone))) {
      throw WentAway(error, *opened_over_network_);
    }
    throw error.After(Name() + ": ");
  }
}

void SerialPort::SetRTSEnable(bool enable) {
  if (device_) {
    OnDevice("RTSEnable", [enable](SerialDevice& d) { d.SetRts(enable); });
  }
  rts_enable_ = enable;
}

bool SerialPort::CDHolding() {
  return OnDevice("CDHolding",
                  [](SerialDevice& device) { return device.CarrierDetect(); });
}

void SerialPort::SetRThreshold(int16_t threshold) {
  if (threshold < 0) throw Error("RThreshold: negative threshold");
  threshold_ = threshold;
}

int16_t SerialPort::InBufferCount() {
  const int waiting = OnDevice("InBufferCount", [](SerialDevice& device) {
    return device.BytesWaiting();
  });
  return static_cast<int16_t>(
      std::min<int>(waiting + static_cast<int>(unread_.size()), INT16_MAX));
}

std::string SerialPort::Input() {
  unread_ +=
      OnDevice("Input", [](SerialDevice& device) { return device.ReadAll(); });
  size_t count = input_len_ == 0 ? unread_.size()
                                 : std::min<size_t>(input_len_, unread_.size());
  std::string bytes = unread_.substr(0, count);
  unread_.erase(0, count);
  return bytes;
}

void SerialPort::Output(const std::string& bytes) {
  OnDevice("Output", [&bytes](SerialDevice& device) { device.Write(bytes); });
}

}  // namespace zindo

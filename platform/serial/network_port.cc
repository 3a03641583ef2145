#include "platform/serial/network_port.h"

#include <charconv>
#include <optional>
#include <utility>

#include "base/dos_path.h"
#include "base/error.h"
#include "platform/serial/com_port_client.h"

namespace zindo {
namespace {

constexpr std::string_view kSeparator = "://";

std::optional<NetworkAddress::Scheme> SchemeNamed(std::string_view name) {
  const std::string lower = AsciiLowerCase(std::string(name));
  if (lower == "rfc2217") return NetworkAddress::Scheme::kRfc2217;
  if (lower == "tcp") return NetworkAddress::Scheme::kTcp;
  return std::nullopt;
}

bool IsPortNumber(std::string_view text) {
  unsigned value = 0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && text.front() != '0' && error == std::errc() &&
         end == text.data() + text.size() && value <= 65535;
}

// Splits "HOST:PORT" or "[V6]:PORT"; false when there is no such split.
bool SplitHostAndPort(std::string_view text, NetworkAddress& address) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find_first_of("[]:") != std::string_view::npos) {
    return false;
  }
  address.host = std::string(host);
  address.port = std::string(text.substr(colon + 1));
  return !host.empty() &&
         host.find_first_of(" \t/?#@") == std::string_view::npos &&
         IsPortNumber(address.port);
}

// A serial device over a connection to a serial server. With COM Port
// Control the line data is framed as Telnet and the settings, RTS and
// carrier detect go through the client; without it bytes pass as they are
// and the line has no modem signals, as on a pseudo-terminal.
class NetworkSerialDevice : public SerialDevice {
 public:
  NetworkSerialDevice(std::unique_ptr<NetworkStream> stream,
                      std::optional<ComPortClient> client)
      : stream_(std::move(stream)), client_(std::move(client)) {
    stream_->WatchUnread([this] { return !unread_.empty(); });
  }

  // Sends the client's opening and waits, bounded, for the server's
  // answers to the settings.
  void Negotiate() {
    stream_->Send(client_->Start());
    stream_->WaitUntil(
        [this] {
          TakeArrivals();
          return client_->Settled();
        },
        kAnswerLimitSeconds);
  }

  void SetRts(bool on) override {
    TakeArrivals();
    if (!client_) return;
    const std::string command = client_->SetControl(
        on ? ComPortClient::kRtsOn : ComPortClient::kRtsOff);
    if (!command.empty()) stream_->Send(command);
  }

  bool CarrierDetect() override;

  int BytesWaiting() override {
    TakeArrivals();
    return static_cast<int>(unread_.size());
  }

  std::string ReadAll() override {
    TakeArrivals();
    std::string bytes;
    bytes.swap(unread_);
    return bytes;
  }

  void Write(const std::string& bytes) override {
    TakeArrivals();
    stream_->Send(client_ ? ComPortClient::Escape(bytes) : bytes);
  }

  bool OverNetwork() const override { return true; }

 private:
  // Moves what the server sent into the unread bytes, and answers it.
  void TakeArrivals() {
    const std::string arrived = stream_->Receive();
    if (!client_) {
      unread_ += arrived;
      return;
    }
    client_->Receive(arrived, unread_);
    const std::string answers = client_->TakeAnswers();
    if (!answers.empty()) stream_->Send(answers);
  }

  // Before the stream, so that it outlives the stream, whose watch asks
  // about it until the stream is gone.
  std::string unread_;
  std::unique_ptr<NetworkStream> stream_;
  std::optional<ComPortClient> client_;
  bool waited_for_modem_state_ = false;
};

// A server sends its first modem state soon after the client sets the mask;
// the first look waits a bounded time for it. A server whose port has no
// modem lines (a pseudo-terminal behind it) may never send one: carrier
// detect then reads off, as on a local pseudo-terminal.
bool NetworkSerialDevice::CarrierDetect() {
  TakeArrivals();
  if (!client_) return false;
  if (!waited_for_modem_state_ && client_->accepted()) {
    waited_for_modem_state_ = true;
    stream_->WaitUntil(
        [this] {
          TakeArrivals();
          return client_->modem_state().has_value();
        },
        kAnswerLimitSeconds);
  }
  return (client_->modem_state().value_or(0) & ComPortClient::kCarrierDetect) !=
         0;
}

}  // namespace

std::string NetworkAddress::HostAndPort() const {
  const bool bracket = host.find(':') != std::string::npos;
  return (bracket ? "[" + host + "]" : host) + ":" + port;
}

std::string NetworkAddress::Text() const {
  return (scheme == Scheme::kRfc2217 ? "rfc2217://" : "tcp://") + HostAndPort();
}

bool NamesNetworkPort(std::string_view target) {
  return target.find(kSeparator) != std::string_view::npos;
}

NetworkAddress ParseNetworkAddress(std::string_view text) {
  const std::string quoted = "\"" + std::string(text) + "\"";
  const std::size_t separator = text.find(kSeparator);
  if (separator == std::string_view::npos) {
    throw Error(quoted + " is no network address (rfc2217:// or tcp://)");
  }
  const auto scheme = SchemeNamed(text.substr(0, separator));
  if (!scheme) {
    throw Error(quoted + ": unknown scheme; use rfc2217:// or tcp://");
  }
  std::string_view rest = text.substr(separator + kSeparator.size());
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  NetworkAddress address;
  address.scheme = *scheme;
  if (!SplitHostAndPort(rest, address)) {
    throw Error(quoted +
                ": expected HOST:PORT after the scheme, the port "
                "from 1 to 65535");
  }
  return address;
}

Error ConnectionClosed(const std::string& name) {
  return Error("read " + name + ": the server closed the connection",
               ErrorKind::kGone);
}

std::unique_ptr<SerialDevice> OpenNetworkDevice(
    const NetworkAddress& address, std::unique_ptr<NetworkStream> stream,
    const LineSettings& settings) {
  if (address.scheme == NetworkAddress::Scheme::kTcp) {
    return std::make_unique<NetworkSerialDevice>(std::move(stream),
                                                 std::nullopt);
  }
  auto device = std::make_unique<NetworkSerialDevice>(std::move(stream),
                                                      ComPortClient(settings));
  device->Negotiate();
  return device;
}

}  // namespace zindo

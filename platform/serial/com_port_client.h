#ifndef ZINDO_PLATFORM_SERIAL_COM_PORT_CLIENT_H_
#define ZINDO_PLATFORM_SERIAL_COM_PORT_CLIENT_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/serial/serial_device.h"

namespace zindo {

// The client's side of a Telnet connection to a serial server that offers
// COM Port Control (RFC 2217): the framing both ways, the option
// negotiation, and the port's settings. It makes no system calls: it turns
// what the server sent into line data and answers, and the caller moves the
// bytes.
class ComPortClient {
 public:
  // COM Port Control commands, as the client sends them; the server
  // answers each with the code plus kServerOffset.
  enum Command : uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyModemState = 7,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
  };
  static constexpr uint8_t kServerOffset = 100;
  // SET-CONTROL values.
  static constexpr uint8_t kNoFlowControl = 1;
  static constexpr uint8_t kDtrOn = 8;
  static constexpr uint8_t kRtsOn = 11;
  static constexpr uint8_t kRtsOff = 12;
  static constexpr uint8_t kNoInboundFlowControl = 14;
  // Modem-state bit of carrier detect.
  static constexpr uint8_t kCarrierDetect = 0x80;

  explicit ComPortClient(const LineSettings& settings) : settings_(settings) {}

  // What opens the session: binary and suppress-go-ahead both ways, and
  // COM Port Control offered. The port's settings follow once the server
  // accepts the offer.
  std::string Start();

  // Takes what the server sent: line data is appended to `data`, unescaped;
  // commands are answered (see TakeAnswers) or noted. A command split
  // between two calls is kept until the rest comes.
  void Receive(std::string_view bytes, std::string& data);

  // What to send the server in answer to what it sent, once; then empty.
  std::string TakeAnswers();

  // `data` for the line, with every 0xFF doubled.
  static std::string Escape(std::string_view data);

  // SET-CONTROL with `value`, or nothing before the server accepted COM
  // Port Control (the value then goes with the settings, if it is RTS).
  std::string SetControl(uint8_t value);

  // Whether the server has settled the session: it refused COM Port
  // Control, or acknowledged every line setting and the purge.
  bool Settled() const;

  // The server's last NOTIFY-MODEMSTATE, if any came.
  std::optional<uint8_t> modem_state() const { return modem_state_; }
  // Whether the server took COM Port Control; false until it answers.
  bool accepted() const { return local_[kComPort] == State::kYes; }
  bool refused() const { return com_port_refused_; }

 private:
  enum class State : uint8_t { kNo, kYes, kWantYes };
  enum class Parse : uint8_t { kData, kCommand, kOption, kSub, kSubCommand };
  static constexpr uint8_t kComPort = 44;
  static constexpr std::size_t kLongestSub = 64;

  void Command(uint8_t verb, uint8_t option);
  void OnDo(uint8_t option, bool yes);
  void OnWill(uint8_t option, bool yes);
  void SubNegotiation();
  void Send(uint8_t verb, uint8_t option);
  void SendSettings();
  std::string Sub(uint8_t command, std::string_view value) const;

  LineSettings settings_;
  bool rts_on_ = true;
  Parse parse_ = Parse::kData;
  uint8_t verb_ = 0;
  std::string sub_;
  std::string answers_;
  std::array<State, 256> local_{};   // what this side does
  std::array<State, 256> remote_{};  // what the server does
  std::array<bool, 32> acknowledged_{};
  std::optional<uint8_t> modem_state_;
  bool com_port_refused_ = false;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_COM_PORT_CLIENT_H_

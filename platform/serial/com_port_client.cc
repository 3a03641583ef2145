#include "platform/serial/com_port_client.h"

namespace zindo {
namespace {

constexpr uint8_t kSe = 240;
constexpr uint8_t kSb = 250;
constexpr uint8_t kWill = 251;
constexpr uint8_t kWont = 252;
constexpr uint8_t kDo = 253;
constexpr uint8_t kDont = 254;
constexpr uint8_t kIac = 255;

constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;

std::string Bytes(std::initializer_list<uint8_t> values) {
  return std::string(values.begin(), values.end());
}

uint8_t ParityCode(Parity parity) {
  switch (parity) {
    case Parity::kOdd:
      return 2;
    case Parity::kEven:
      return 3;
    case Parity::kMark:
      return 4;
    case Parity::kSpace:
      return 5;
    case Parity::kNone:
      break;
  }
  return 1;
}

}  // namespace

std::string ComPortClient::Start() {
  for (uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
    local_[option] = State::kWantYes;
    Send(kWill, option);
  }
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    remote_[option] = State::kWantYes;
    Send(kDo, option);
  }
  return TakeAnswers();
}

std::string ComPortClient::TakeAnswers() {
  std::string answers;
  answers.swap(answers_);
  return answers;
}

std::string ComPortClient::Escape(std::string_view data) {
  std::string escaped;
  escaped.reserve(data.size());
  for (char byte : data) {
    escaped += byte;
    if (static_cast<uint8_t>(byte) == kIac) escaped += byte;
  }
  return escaped;
}

std::string ComPortClient::SetControl(uint8_t value) {
  if (value == kRtsOn || value == kRtsOff) rts_on_ = value == kRtsOn;
  if (!accepted()) return "";
  return Sub(kSetControl, std::string(1, static_cast<char>(value)));
}

bool ComPortClient::Settled() const {
  if (com_port_refused_) return true;
  if (!accepted()) return false;
  for (uint8_t command :
       {kSetBaudRate, kSetDataSize, kSetParity, kSetStopSize, kPurgeData}) {
    if (!acknowledged_[command]) return false;
  }
  return true;
}

// IAC starts a command everywhere; IAC IAC is a data byte 0xFF, in a
// subnegotiation too. Any other command inside a subnegotiation ends it
// unread, as does running past the longest one the server has reason to
// send.
void ComPortClient::Receive(std::string_view bytes, std::string& data) {
  for (char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    switch (parse_) {
      case Parse::kData:
        if (byte == kIac) {
          parse_ = Parse::kCommand;
        } else {
          data += c;
        }
        break;
      case Parse::kCommand:
        parse_ = Parse::kData;
        if (byte == kIac) {
          data += c;
        } else if (byte == kSb) {
          sub_.clear();
          parse_ = Parse::kSub;
        } else if (byte >= kWill) {
          verb_ = byte;
          parse_ = Parse::kOption;
        }  // NOP, GA and the other one-byte commands mean nothing here.
        break;
      case Parse::kOption:
        Command(verb_, byte);
        parse_ = Parse::kData;
        break;
      case Parse::kSub:
        if (byte == kIac) {
          parse_ = Parse::kSubCommand;
        } else if (sub_.size() <= kLongestSub) {
          sub_ += c;
        }
        break;
      case Parse::kSubCommand:
        if (byte == kIac) {
          if (sub_.size() <= kLongestSub) sub_ += c;
          parse_ = Parse::kSub;
        } else if (byte == kSe) {
          if (sub_.size() <= kLongestSub) SubNegotiation();
          parse_ = Parse::kData;
        } else {
          parse_ = Parse::kCommand;
          Receive(std::string_view(&c, 1), data);
        }
        break;
    }
  }
}

void ComPortClient::Command(uint8_t verb, uint8_t option) {
  if (verb == kDo || verb == kDont) OnDo(option, verb == kDo);
  if (verb == kWill || verb == kWont) OnWill(option, verb == kWill);
}

// Each side of an option answers only a change of state, so that two
// parties never echo one request back and forth.
void ComPortClient::OnDo(uint8_t option, bool yes) {
  State& state = local_[option];
  const bool supported =
      option == kBinary || option == kSuppressGoAhead || option == kComPort;
  if (yes && state == State::kNo) {
    if (!supported) return Send(kWont, option);
    Send(kWill, option);
  } else if (!yes && state == State::kYes) {
    Send(kWont, option);
  }
  const bool was_accepted = accepted();
  state = yes && supported ? State::kYes : State::kNo;
  if (option == kComPort) com_port_refused_ = !yes;
  if (option == kComPort && accepted() && !was_accepted) SendSettings();
}

// The server's echo would garble the line, so of what it offers only binary
// and suppress-go-ahead are taken.
void ComPortClient::OnWill(uint8_t option, bool yes) {
  State& state = remote_[option];
  const bool wanted = option == kBinary || option == kSuppressGoAhead;
  if (yes && state == State::kNo) {
    Send(wanted ? kDo : kDont, option);
  } else if (!yes && state == State::kYes) {
    Send(kDont, option);
  }
  state = yes && wanted ? State::kYes : State::kNo;
}

void ComPortClient::SubNegotiation() {
  if (sub_.size() < 2 || static_cast<uint8_t>(sub_[0]) != kComPort) return;
  const auto code = static_cast<uint8_t>(sub_[1]);
  if (code < kServerOffset) return;  // requests of a server to its client
  const uint8_t command = code - kServerOffset;
  if (command < acknowledged_.size()) acknowledged_[command] = true;
  if (command == kNotifyModemState && sub_.size() >= 3) {
    modem_state_ = static_cast<uint8_t>(sub_[2]);
  }
}

void ComPortClient::Send(uint8_t verb, uint8_t option) {
  answers_ += Bytes({kIac, verb, option});
}

// Raw line, no flow control, RTS and DTR up, carrier detect reported,
// anything the server still holds from before thrown away.
void ComPortClient::SendSettings() {
  const auto baud = static_cast<uint32_t>(settings_.baud);
  answers_ += Sub(
      kSetBaudRate,
      Bytes({static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
             static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)}));
  answers_ +=
      Sub(kSetDataSize, Bytes({static_cast<uint8_t>(settings_.data_bits)}));
  answers_ += Sub(kSetParity, Bytes({ParityCode(settings_.parity)}));
  answers_ +=
      Sub(kSetStopSize, Bytes({static_cast<uint8_t>(settings_.stop_bits)}));
  answers_ += Sub(kSetControl, Bytes({kNoFlowControl}));
  answers_ += Sub(kSetControl, Bytes({kNoInboundFlowControl}));
  answers_ += Sub(kSetControl, Bytes({kDtrOn}));
  answers_ += Sub(kSetControl, Bytes({rts_on_ ? kRtsOn : kRtsOff}));
  answers_ += Sub(kSetLineStateMask, Bytes({0}));
  answers_ += Sub(kSetModemStateMask, Bytes({kCarrierDetect}));
  answers_ += Sub(kPurgeData, Bytes({3}));  // both directions
}

std::string ComPortClient::Sub(uint8_t command, std::string_view value) const {
  return Bytes({kIac, kSb, kComPort, command}) + Escape(value) +
         Bytes({kIac, kSe});
}

}  // namespace zindo

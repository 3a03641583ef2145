// Feeds arbitrary server bytes to the COM Port Control client, whole and
// split at a point the input chooses, and checks what must hold whatever a
// server sends: the split changes nothing, the line data is what is left
// once the commands are taken out, and every answer is a well-formed
// Telnet command that the client could send.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/serial/com_port_client.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Outcome {
  std::string data;
  std::string answers;
  bool settled;
  int modem_state;
};

Outcome Feed(std::string_view bytes, std::size_t split) {
  zindo::ComPortClient client{zindo::LineSettings{}};
  client.Start();
  Outcome outcome;
  client.Receive(bytes.substr(0, split), outcome.data);
  client.Receive(bytes.substr(split), outcome.data);
  outcome.answers = client.TakeAnswers();
  outcome.settled = client.Settled();
  outcome.modem_state = client.modem_state() ? *client.modem_state() : -1;
  return outcome;
}

// Answers are option commands (IAC, verb, option) and COM Port Control
// subnegotiations (IAC SB 44 ... IAC SE) with every 0xFF inside doubled.
void CheckAnswers(std::string_view answers) {
  std::size_t at = 0;
  while (at < answers.size()) {
    Check(answers.size() - at >= 3 && static_cast<uint8_t>(answers[at]) == 255);
    const auto verb = static_cast<uint8_t>(answers[at + 1]);
    if (verb != 250) {
      Check(verb >= 251);
      at += 3;
      continue;
    }
    Check(static_cast<uint8_t>(answers[at + 2]) == 44);
    at += 3;
    while (true) {
      Check(at + 1 < answers.size());
      if (static_cast<uint8_t>(answers[at]) != 255) {
        ++at;
        continue;
      }
      const auto next = static_cast<uint8_t>(answers[at + 1]);
      Check(next == 255 || next == 240);
      at += 2;
      if (next == 240) break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t split = data[0] % size;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1,
                               size - 1);
  const Outcome whole = Feed(bytes, bytes.size());
  const Outcome parts = Feed(bytes, split);
  Check(whole.data == parts.data && whole.answers == parts.answers &&
        whole.settled == parts.settled &&
        whole.modem_state == parts.modem_state);
  // Data never holds more than came, and without 0xFF in the input there is
  // no command, so everything is data.
  Check(whole.data.size() <= bytes.size());
  if (bytes.find('\xFF') == std::string_view::npos) {
    Check(whole.data == bytes && whole.answers.empty());
  }
  CheckAnswers(whole.answers);
  return 0;
}

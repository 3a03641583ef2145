// Feeds arbitrary text to the port-number parser of the configuration file
// and compares its answer with a plain reading of what it must accept: spaces
// or tabs, an optional sign, decimal digits, spaces or tabs, and a value that
// fits in 16 bits.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "exchange/config_file.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The port number `field` names, or nothing, worked out digit by digit.
std::optional<int> ExpectedPort(const std::string& field) {
  std::size_t begin = 0;
  std::size_t end = field.size();
  while (begin < end && (field[begin] == ' ' || field[begin] == '\t')) ++begin;
  while (end > begin && (field[end - 1] == ' ' || field[end - 1] == '\t')) {
    --end;
  }
  bool negative = false;
  if (begin < end && (field[begin] == '+' || field[begin] == '-')) {
    negative = field[begin] == '-';
    ++begin;
  }
  if (begin == end) return std::nullopt;
  long value = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (field[i] < '0' || field[i] > '9') return std::nullopt;
    value = value * 10 + (field[i] - '0');
    if (value > 32768) return std::nullopt;  // no 16-bit value, either sign
  }
  if (negative) value = -value;
  if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
  return static_cast<int>(value);
}

void CheckField(const std::string& field) {
  const std::optional<int16_t> port = zindo::ParsePortField(field);
  const std::optional<int> expected = ExpectedPort(field);
  Check(port.has_value() == expected.has_value());
  if (port) Check(*port == *expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  // The relay hands the parser the line up to its first comma or line end;
  // the whole line, with whatever else it holds, must be judged alike.
  CheckField(line.substr(0, line.find_first_of(",\r\n")));
  CheckField(line);
  return 0;
}

#include "exchange/request_encoder.h"

#include <cstddef>
#include <cstdint>

#include "exchange/request_decoder.h"
#include "exchange/request_file.h"

namespace zindo {

namespace {

constexpr int kLengthOffset = 96;
// The run-length code's "byte before" when no byte has come yet.
constexpr uint8_t kInitialPrevious = 255;
// A run marker's count K stands for K - 2 more copies.
constexpr std::size_t kCountBias = 2;
constexpr std::size_t kHeaderLength = 2;

std::string Decimal(char byte) {
  return std::to_string(static_cast<unsigned char>(byte));
}

void CheckSendable(const std::string& message) {
  const std::size_t length = message.size();
  if (length < static_cast<std::size_t>(kMinEncodedLength) ||
      length > static_cast<std::size_t>(kMaxEncodedLength)) {
    throw UnsendableMessage("a device message is " +
                            std::to_string(kMinEncodedLength) + " to " +
                            std::to_string(kMaxEncodedLength) +
                            " bytes long, not " + std::to_string(length));
  }
  const std::string header{static_cast<char>(length - kHeaderLength), 0};
  if (message.compare(0, kHeaderLength, header) != 0) {
    throw UnsendableMessage("a device message of " + std::to_string(length) +
                            " bytes starts with its header " +
                            Decimal(header[0]) + ", 0, not " +
                            Decimal(message[0]) + ", " + Decimal(message[1]));
  }
  if (message == QuitRequest()) {
    throw UnsendableMessage(
        "1, 0, 0 is the quit request: the relay ends instead of sending it");
  }
}

// The decoder writes the header over the first two bytes, so they may be
// coded as anything. Coded as the byte after them, they join its run for
// free; a two-byte message has no byte after them and joins the "byte
// before the first" instead.
std::string WithFreeHeaderFilled(const std::string& message) {
  const char fill = message.size() > kHeaderLength
                        ? message[kHeaderLength]
                        : static_cast<char>(kInitialPrevious);
  std::string filled = message;
  filled.replace(0, kHeaderLength, kHeaderLength, fill);
  return filled;
}

// Codes `length` copies of `byte`, which follow `previous`. A byte equal to
// the one before it is always read as a run marker, so a run must start
// with a literal unless it continues `previous`, and can only go on with a
// marker and its count.
void AppendRun(std::string& code, uint8_t previous, uint8_t byte,
               std::size_t length) {
  std::size_t copies_left = length;
  if (byte != previous) {
    code += static_cast<char>(byte);
    --copies_left;
  }
  if (copies_left > 0) {
    code += static_cast<char>(byte);
    code += static_cast<char>(copies_left + kCountBias);
  }
}

}  // namespace

// Why this is the shortest encoding: no code item spans two runs of equal
// bytes (a literal is one byte, a marker repeats the byte before it), and
// each run costs what AppendRun spends and no less: a literal (1) when its
// byte differs from the one before, and one marker with its count (2) for
// the rest, since no other code continues a run and one count reaches 253
// copies, more than any message holds. Only the first run's "byte before"
// depends on the header, and filling the header with the third byte makes
// that run cost 3 (2 when it is 255, the least any message costs): any other
// header costs at least 2 for its own two bytes and 1 for the third.
std::string EncodeRequest(const std::string& message) {
  CheckSendable(message);
  const std::string filled = WithFreeHeaderFilled(message);
  std::string code(1, static_cast<char>(filled.size() + kLengthOffset));
  uint8_t previous = kInitialPrevious;
  for (std::size_t start = 0; start < filled.size();) {
    const uint8_t byte = static_cast<uint8_t>(filled[start]);
    std::size_t end = start + 1;
    while (end < filled.size() && filled[end] == filled[start]) ++end;
    AppendRun(code, previous, byte, end - start);
    previous = byte;
    start = end;
  }
  return code;
}

}  // namespace zindo

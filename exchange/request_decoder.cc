#include "exchange/request_decoder.h"

namespace zindo {

namespace {

constexpr uint8_t kShortFormMark = 1;
constexpr std::size_t kShortFormLength = 3;
constexpr int kLengthOffset = 96;
// The run-length code's "byte before" when no byte has come yet.
constexpr uint8_t kInitialPrevious = 255;

// Reads bytes for the decoder and counts them, so that an error can say how
// far the request got.
class CountingReader {
 public:
  explicit CountingReader(ByteSource& source) : source_(source) {}

  // The next byte; when there is none, fails saying what was missing, as
  // `missing` describes it.
  template <typename Describe>
  uint8_t Read(const Describe& missing) {
    std::optional<uint8_t> byte = source_.Next();
    if (!byte.has_value()) {
      throw BadRequest("the request ends after " + std::to_string(count_) +
                       " bytes, without " + missing());
    }
    ++count_;
    return *byte;
  }

 private:
  ByteSource& source_;
  int count_ = 0;
};

std::string ReadShortForm(CountingReader& reader) {
  std::string request(1, static_cast<char>(kShortFormMark));
  while (request.size() < kShortFormLength) {
    request += static_cast<char>(reader.Read([&] {
      return "byte " + std::to_string(request.size() + 1) + " of " +
             std::to_string(kShortFormLength);
    }));
  }
  return request;
}

int EncodedLength(uint8_t first_byte) {
  const int length = first_byte - kLengthOffset;
  if (length < kMinEncodedLength) {
    throw BadRequest("first byte " + std::to_string(first_byte) +
                     " gives no message length (a request starts with 1, or "
                     "with 98 to 255)");
  }
  return length;
}

// Appends the run of `count` - 2 more copies of `byte` that a run marker
// asks for. A run may fill the message but never reach past it.
void AppendRun(std::string& message, std::size_t length, uint8_t byte,
               uint8_t count) {
  if (count <= 2) return;
  const std::size_t copies = count - 2u;
  if (message.size() + copies > length) {
    throw BadRequest(
        "a run of " + std::to_string(copies) + " more " + std::to_string(byte) +
        " from byte " + std::to_string(message.size() + 1) +
        " reaches past the message's length of " + std::to_string(length));
  }
  message.append(copies, static_cast<char>(byte));
}

std::string ReadEncodedForm(CountingReader& reader, int length) {
  const std::size_t wanted = static_cast<std::size_t>(length);
  std::string message;
  message.reserve(wanted);
  uint8_t previous = kInitialPrevious;
  while (message.size() < wanted) {
    const uint8_t byte = reader.Read([&] {
      return "byte " + std::to_string(message.size() + 1) + " of " +
             std::to_string(length);
    });
    if (byte != previous) {
      message += static_cast<char>(byte);
      previous = byte;
    } else {
      const uint8_t count =
          reader.Read([] { return std::string("the count of a run"); });
      AppendRun(message, wanted, byte, count);
    }
  }
  message[0] = static_cast<char>(length - 2);
  message[1] = 0;
  return message;
}

}  // namespace

std::optional<uint8_t> StringByteSource::Next() {
  if (next_ >= bytes_.size()) return std::nullopt;
  return static_cast<uint8_t>(bytes_[next_++]);
}

std::string DecodeRequest(ByteSource& source) {
  CountingReader reader(source);
  const uint8_t first = reader.Read([] { return std::string("a first byte"); });
  if (first == kShortFormMark) return ReadShortForm(reader);
  return ReadEncodedForm(reader, EncodedLength(first));
}

}  // namespace zindo

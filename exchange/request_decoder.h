#ifndef ZINDO_EXCHANGE_REQUEST_DECODER_H_
#define ZINDO_EXCHANGE_REQUEST_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/error.h"

namespace zindo {

// The bytes of a request, handed out one at a time, so that the decoder
// takes no more of a request file than it needs.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // The next byte, or nothing once the bytes have run out. Throws Error when
  // the bytes cannot be read.
  virtual std::optional<uint8_t> Next() = 0;
};

// A ByteSource over bytes already in memory.
class StringByteSource : public ByteSource {
 public:
  explicit StringByteSource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::optional<uint8_t> Next() override;

 private:
  std::string bytes_;
  std::size_t next_ = 0;
};

// A request that cannot be decoded; the message says why and where.
class BadRequest : public Error {
 public:
  explicit BadRequest(const std::string& message) : Error(message) {}
};

// The shortest and longest device message the encoded form can carry: its
// first byte is the length plus 96.
inline constexpr int kMinEncodedLength = 2;
inline constexpr int kMaxEncodedLength = 255 - 96;

// Decodes one request from `source`, reading only as far as it needs.
//
// A request whose first byte is 1 is three bytes, sent as they stand.
// Any other first byte is the length L of the message plus 96, and a
// run-length code follows: a byte that differs from the one before it (255
// before the first) is itself, and a byte equal to the one before it is
// followed by a count K and stands for K - 2 more copies. The decoded
// message's first two bytes are then set to L - 2 and 0, its header.
//
// Throws BadRequest when the bytes run out before the message is complete,
// when the first byte gives no length from 2 to 159, and when a run would
// reach past the message's length: such a request cannot be what its sender
// meant, so nothing of it is sent.
std::string DecodeRequest(ByteSource& source);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_REQUEST_DECODER_H_

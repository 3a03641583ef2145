#ifndef ZINDO_EXCHANGE_REQUEST_ENCODER_H_
#define ZINDO_EXCHANGE_REQUEST_ENCODER_H_

#include <string>

#include "base/error.h"

namespace zindo {

// A device message that no request file can carry; the message says why.
class UnsendableMessage : public Error {
 public:
  explicit UnsendableMessage(const std::string& message) : Error(message) {}
};

// The request file that makes the relay send `message` to the device: the
// encoded form that DecodeRequest reads, as short as that form allows.
//
// `message` is the whole device message, header included, exactly as the
// relay will send it: L bytes (L from 2 to 159) that start with L - 2 and 0.
// Since the relay writes that header over whatever the file decodes to, a
// message with any other header could never arrive as given, and is refused
// rather than silently changed. So is 1, 0, 0: the relay takes it as its
// quit request and never sends it to the device. Every message accepted here
// comes back unchanged from DecodeRequest(EncodeRequest(message)).
//
// Throws UnsendableMessage for a message it refuses.
std::string EncodeRequest(const std::string& message);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_REQUEST_ENCODER_H_

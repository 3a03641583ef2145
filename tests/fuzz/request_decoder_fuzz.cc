// Feeds arbitrary request files to the decoder. A file the decoder rejects
// must be rejected with BadRequest; a file it accepts must decode to a
// message whose length and header follow from the file's first byte.

#include <cstddef>
#include <cstdint>
#include <string>

#include "exchange/request_decoder.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  zindo::StringByteSource source(file);
  std::string message;
  try {
    message = zindo::DecodeRequest(source);
  } catch (const zindo::BadRequest&) {
    return 0;
  }

  // Nothing decodes from an empty file.
  Check(size > 0);
  if (data[0] == 1) {
    // The short form goes out as written.
    Check(size >= 3);
    Check(message == file.substr(0, 3));
    return 0;
  }
  const int length = data[0] - 96;
  Check(length >= zindo::kMinEncodedLength &&
        length <= zindo::kMaxEncodedLength);
  Check(message.size() == static_cast<std::size_t>(length));
  Check(static_cast<uint8_t>(message[0]) == length - 2);
  Check(message[1] == 0);
  return 0;
}

#ifndef ZINDO_EXCHANGE_RESPONSE_FILE_H_
#define ZINDO_EXCHANGE_RESPONSE_FILE_H_

#include <optional>
#include <string>

#include "base/error.h"
#include "platform/files/file_system.h"

namespace zindo {

// A reply as the companion reads it: "/0", then a comma and the decimal
// value of every byte ("/0,17,0,129"), without the line end.
std::string ResponseText(const std::string& reply);

// Replaces the response file with `reply` as one text line. The line is
// built first and written in one go, so the file is open only for that
// write. Throws Error on failure.
void WriteResponse(FileSystem& files, const std::string& reply);

// A response file that holds no reply line; the message says what is wrong.
class MalformedResponse : public Error {
 public:
  explicit MalformedResponse(const std::string& message) : Error(message) {}
};

// The reply in a response file's content, as the companion reads it: the
// inverse of WriteResponse. "/0", then "," and a decimal byte for each
// byte, then CR LF. Returns nothing while the line is unfinished (no line
// end yet, and nothing that cannot start a reply line), as a file being
// written may be. Throws MalformedResponse otherwise.
std::optional<std::string> ParseResponse(const std::string& content);

// `content` for a message: printable ASCII as it is, any other byte as
// \xNN.
std::string PrintableText(const std::string& content);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_RESPONSE_FILE_H_

#ifndef ZINDO_EXCHANGE_RESPONSE_FILE_H_
#define ZINDO_EXCHANGE_RESPONSE_FILE_H_

#include <string>

#include "platform/file_system.h"

namespace zindo {

// A reply as the companion reads it: "/0", then a comma and the decimal
// value of every byte ("/0,17,0,129"), without the line end.
std::string ResponseText(const std::string& reply);

// Replaces the response file with `reply` as one text line. The line is
// built first and written in one go, so the file is open only for that
// write. Throws Error on failure.
void WriteResponse(FileSystem& files, const std::string& reply);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_RESPONSE_FILE_H_

#ifndef ZINDO_EXCHANGE_REQUEST_FILE_H_
#define ZINDO_EXCHANGE_REQUEST_FILE_H_

#include <string>

#include "platform/files/file_system.h"

namespace zindo {

// The request that ends a running relay: bytes 1, 0, 0.
std::string QuitRequest();

// Writes the quit request into the request file, as its own line, so that a
// relay already running here ends. Throws Error on failure.
void WriteQuitRequest(FileSystem& files);

// What stands under the request file's name.
struct RequestLook {
  // The companion has left a request: a regular file stored under exactly
  // the upper-case name.
  bool present = false;
  // What the name holds when it is no regular file ("a named pipe"), else
  // "". Such an entry is never a request: reading a pipe or a device could
  // hold the relay for good, so it is passed over like a missing file.
  std::string not_a_file;
};

RequestLook LookForRequest(FileSystem& files);

// Whether the companion has left a request (see RequestLook::present).
bool RequestPresent(FileSystem& files);

// Reads and decodes the request file, reading it byte by byte only as far as
// the request goes (see DecodeRequest). Throws Error, naming the file, when
// it is missing, cannot be read or holds no valid request.
std::string ReadRequest(FileSystem& files);

// Deletes the request file. Throws Error when it is missing.
void DeleteRequest(FileSystem& files);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_REQUEST_FILE_H_

#ifndef ZINDO_EXCHANGE_REQUEST_FILE_H_
#define ZINDO_EXCHANGE_REQUEST_FILE_H_

#include <string>

#include "platform/file_system.h"

namespace zindo {

// The request that ends a running relay: bytes 1, 0, 0.
std::string QuitRequest();

// Writes the quit request into the request file, as its own line, so that a
// relay already running here ends. Throws Error on failure.
void WriteQuitRequest(FileSystem& files);

// Whether the companion has left a request: the request file is present only
// when it is stored under exactly its upper-case name.
bool RequestPresent(FileSystem& files);

// Reads the request file's three-byte form: its first three bytes. Throws
// Error when the file is missing or holds fewer than three bytes.
std::string ReadShortRequest(FileSystem& files);

// Deletes the request file. Throws Error when it is missing.
void DeleteRequest(FileSystem& files);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_REQUEST_FILE_H_

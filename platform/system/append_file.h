#ifndef ZINDO_PLATFORM_SYSTEM_APPEND_FILE_H_
#define ZINDO_PLATFORM_SYSTEM_APPEND_FILE_H_

#include <memory>
#include <string>

namespace zindo {

// A file open for adding to its end only, as a log is kept. Others may
// read it, and append to it, meanwhile. Closed when destroyed.
class AppendFile {
 public:
  virtual ~AppendFile() = default;

  // Adds `bytes` at the end of the file in one write, so that what two
  // programs append to one file does not mix. Throws Error "write <name>:
  // <system text>" when not all of it was written.
  virtual void Append(const std::string& bytes) = 0;
};

// Opens the file `path` (UTF-8) for appending, creating it when missing.
// Never waits: a named pipe that nobody reads fails at once. Failures, then
// and later, throw Error naming the file as `name`: "open <name>: <system
// text>".
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path,
                                           const std::string& name);

// How a line of text ends in the system's own files: "\n", or "\r\n".
std::string TextLineEnd();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_APPEND_FILE_H_

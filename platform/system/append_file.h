#ifndef ZINDO_PLATFORM_SYSTEM_APPEND_FILE_H_
#define ZINDO_PLATFORM_SYSTEM_APPEND_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
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

  // How many bytes the file holds now, others' appends included. Throws
  // Error "size of <name>: <system text>".
  virtual std::uint64_t Size() = 0;

  // Waits until no other program holds this file's lock, then holds it
  // until the file is closed. Only programs that ask for it are kept out:
  // a lock taken around a look at the file and the append after it makes
  // the two one step for every writer that locks. Throws Error "lock
  // <name>: <system text>".
  virtual void Lock() = 0;

  // Whether `path` names this file still: false once it has been renamed,
  // removed or replaced since it was opened. Never throws.
  virtual bool IsNamed(const std::string& path) = 0;
};

// Opens the file `path` (UTF-8) for appending, creating it when missing.
// Never waits: a named pipe that nobody reads fails at once. Failures, then
// and later, throw Error naming the file as `name`: "open <name>: <system
// text>".
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path,
                                           const std::string& name);

// Makes the folder `path` (UTF-8), and each missing folder above it, as
// a log's folder is made on its first line, for this user alone (0700 on
// Linux; on Windows as the folder above allows). Nothing to do when it
// exists. A Windows path may start at a drive (C:\) or at a network share
// (\\server\share), neither of which is made. Throws Error "create <folder>:
// <system text>" naming the folder that could not be made.
void MakeFolders(const std::string& path);

// Gives the file `from` the name `to` in one step, replacing a file that
// has it, as a log that has grown is set aside. Throws Error "rename <from>
// to <to>: <system text>".
void RenameOver(const std::string& from, const std::string& to);

// A part of a file, and the offset of its first byte.
struct FilePart {
  std::string bytes;
  std::uint64_t start = 0;
};

// The at most `at_most` bytes of the file `path` that end at offset `end`,
// or at its end when `end` lies beyond it, so that a file can be read
// backwards a part at a time; nothing when there is no such file. Never
// writes or creates anything. Throws Error "read <path>: <system text>"
// when it exists but cannot be read.
std::optional<FilePart> ReadFilePart(const std::string& path, std::uint64_t end,
                                     std::size_t at_most);

// How a line of text ends in the system's own files: "\n", or "\r\n".
std::string TextLineEnd();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_APPEND_FILE_H_

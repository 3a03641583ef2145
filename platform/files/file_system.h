#ifndef ZINDO_PLATFORM_FILES_FILE_SYSTEM_H_
#define ZINDO_PLATFORM_FILES_FILE_SYSTEM_H_

#include <cstddef>
#include <memory>
#include <string>

namespace zindo {

// How a link that is not followed (see FileSystem) is named, first in what
// NonFileKind says and in failures; the system may add how it knows.
inline constexpr char kUnfollowedLink[] =
    "a symbolic link owned by another user";

// A file open for reading from its start. Closed when destroyed.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;

  // Reads up to `n` bytes. Returns fewer only at the end of the file, and an
  // empty string once the end is reached. Throws Error on a read failure.
  virtual std::string Read(std::size_t n) = 0;
};

// Files and directories, named as the relay names them: DOS-style paths with
// backslashes, either absolute with a drive letter ("c:\zindo\LOCAL6.DAT") or
// relative to the working directory ("ZINDOK1.TXT").
//
// Every component of a path is resolved without regard to case. A file
// created where no entry matches keeps the case of the name it was created
// with; an existing entry keeps its stored name when it is rewritten.
//
// A symbolic link (on Windows any reparse point) under a file's name is
// followed only when it belongs to this user or to the system itself (root,
// the administrators): a link that another user planted in a folder others
// may write to must never make a write land in, or a read come from, a file
// of that user's choosing. Such a link counts as no regular file: a write
// replaces the link itself with the file, or fails naming it when the folder
// keeps another user's entries; a read fails naming it.
//
// Every method opens, uses and closes what it needs within the call; nothing
// stays open between calls except a returned SequentialFile. Failures throw
// Error naming the path and the system's error text.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The name under which the last component of `path` is stored, exactly as
  // stored, or "" when no entry matches (also when a directory on the way is
  // missing). When several entries match, an exact match wins. Cheap enough
  // to be called in every polling round, even in a directory of 10,000 files.
  virtual std::string StoredName(const std::string& path) = 0;

  // Creates the directory `path`. Fails if it exists (ErrorKind::kExists)
  // or its parent is missing (kNotFound).
  virtual void CreateDirectory(const std::string& path) = 0;

  // Creates the file `path`, or replaces its content, with `bytes`. Where
  // the system allows it the content is replaced whole, so that a reader
  // never finds the file empty or half written. Fails if the directory it lies
  // in is missing (ErrorKind::kNotFound), and if an entry that is no regular
  // file stands under the name (naming what it is), but for a link that is
  // not followed, which is replaced where the folder allows it.
  virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;

  // What `path` names when that is something other than a regular file,
  // following symbolic links, as a phrase for a diagnostic: "a named pipe",
  // "a directory", "a character device", "a symbolic link to nothing", and
  // for a link that is not followed kUnfollowedLink, perhaps with more. ""
  // for a regular file, and when nothing matches. Never opens it: opening a
  // pipe or a device may block, or act on the device.
  virtual std::string NonFileKind(const std::string& path) = 0;

  // Opens the existing file `path` for reading. Fails if it is missing
  // (ErrorKind::kNotFound), and if it is no regular file (naming what it
  // is) rather than block on it.
  virtual std::unique_ptr<SequentialFile> OpenForReading(
      const std::string& path) = 0;

  // Deletes the file `path`. Fails if it is missing (ErrorKind::kNotFound).
  virtual void DeleteFile(const std::string& path) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_FILE_SYSTEM_H_

#ifndef ZINDO_PLATFORM_FILES_FILE_SYSTEM_POSIX_H_
#define ZINDO_PLATFORM_FILES_FILE_SYSTEM_POSIX_H_

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/directory_monitor.h"
#include "platform/files/file_system.h"

namespace zindo {

// Creates the file at the native path `native`, or replaces it whole with
// `bytes`, as the relay's own files are written: a reader finds the old
// content or the new, never a part, and the old file's permissions are
// kept. Fails if the folder is missing, or if something other than a
// regular file stands under the name.
void ReplaceNativeFile(const std::string& native, const std::string& bytes);

// The whole content of the file at the native path `native`. Throws Error
// naming it.
std::string ReadWholeFile(const std::string& native);

// What the symbolic link at the native path `native` holds; nothing when
// there is no link there.
std::optional<std::string> LinkTarget(const std::string& native);

// DOS-style paths on a POSIX file system, laid out as Wine lays out a
// prefix: drive X: is the directory that the link `<prefix>/dosdevices/x:`
// points to. Drive C: without such a link is `<prefix>/drive_c`, created
// with the prefix when something is written there. Relative paths start at
// the working directory.
class PosixFileSystem : public FileSystem {
 public:
  // `prefix` and `working_directory` are absolute native paths. Names are
  // looked up through `directories`; without one, the file system keeps its
  // own, watched through inotify.
  PosixFileSystem(std::string prefix, std::string working_directory,
                  std::shared_ptr<DirectoryMonitor> directories = nullptr);

  std::string StoredName(const std::string& path) override;
  void CreateDirectory(const std::string& path) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  std::string NonFileKind(const std::string& path) override;
  std::unique_ptr<SequentialFile> OpenForReading(
      const std::string& path) override;
  void DeleteFile(const std::string& path) override;

  // The native path of the existing entry that `path` names, found as every
  // other method finds it, or "" when nothing matches.
  std::string FindExisting(const std::string& path);

  const std::string& working_directory() const { return working_directory_; }
  const std::string& prefix() const { return prefix_; }

  // The drives the prefix maps, by upper-case letter, with the native
  // directory each shows: every `dosdevices/x:` link that leads to a
  // directory, and C: as `drive_c` when it has no link and exists.
  std::map<char, std::string> MappedDrives() const;

 private:
  // Where a DOS path leads. When a directory on the way does not exist, the
  // requested name stands in for it, so the native path does not exist
  // either and a system call on it fails with ENOENT.
  struct Location {
    std::string directory;    // Native directory that holds the entry.
    std::string requested;    // The last component as asked for.
    std::string stored_name;  // The matching stored name, "" if none.

    std::string NativePath() const;
  };

  Location Locate(const std::string& path, bool create_drive_c);
  std::string DriveRoot(char drive, bool create_drive_c);

  std::string prefix_;
  std::string working_directory_;
  std::shared_ptr<DirectoryMonitor> directories_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_FILE_SYSTEM_POSIX_H_

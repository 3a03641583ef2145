#ifndef ZINDO_PLATFORM_FILES_FILE_SYSTEM_WIN32_H_
#define ZINDO_PLATFORM_FILES_FILE_SYSTEM_WIN32_H_

#include <memory>
#include <string>

#include "platform/files/file_system.h"
#include "platform/system/watch_list-win32.h"

namespace zindo {

// The relay's DOS paths are the system's own paths here. Relative paths
// start at `working_directory`, fixed when the relay starts. The file
// system itself ignores case, so every lookup is the system's.
class Win32FileSystem : public FileSystem {
 public:
  // `working_directory` is an absolute path, in UTF-8. Names looked up
  // there are added to `watch_list`, when given, so that their changes wake
  // the event pump.
  explicit Win32FileSystem(std::string working_directory,
                           std::shared_ptr<WatchList> watch_list = nullptr);

  std::string StoredName(const std::string& path) override;
  void CreateDirectory(const std::string& path) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  std::string NonFileKind(const std::string& path) override;
  std::unique_ptr<SequentialFile> OpenForReading(
      const std::string& path) override;
  void DeleteFile(const std::string& path) override;

  // The absolute path that `path` names: relative paths are joined to the
  // working directory.
  std::string AbsolutePath(const std::string& path) const;

  const std::string& working_directory() const { return working_directory_; }

 private:
  std::string working_directory_;
  std::shared_ptr<WatchList> watch_list_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_FILE_SYSTEM_WIN32_H_

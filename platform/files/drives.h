#ifndef ZINDO_PLATFORM_FILES_DRIVES_H_
#define ZINDO_PLATFORM_FILES_DRIVES_H_

#include <map>
#include <string>

namespace zindo {

// The native directories that the relay's DOS paths reach: the drives by
// their letters, the working directory, and directories as the system
// reaches them, so that two names of one directory can be told apart from
// two directories.
class Drives {
 public:
  virtual ~Drives() = default;

  // A drive letter that DOS paths name, and the directory it shows.
  struct Drive {
    std::string native_directory;
    // Its medium can be taken out, so it may hold none (a CD or floppy
    // drive, a card reader).
    bool removable = false;
  };
  // The drives by which the relay's DOS paths reach native directories,
  // by upper-case letter.
  virtual std::map<char, Drive> MappedDrives() = 0;

  // The relay's working directory, native and absolute.
  virtual std::string WorkingDirectory() = 0;

  // The existing directory `native_path` as the system reaches it:
  // absolute, every link followed, no "." or ".." left, and '/' between
  // its names. Throws Error "find the directory <native_path>: <why>" when
  // it cannot be reached: ErrorKind::kNotFound when it, or a directory on
  // the way, is missing.
  virtual std::string ResolvedDirectory(const std::string& native_path) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_DRIVES_H_

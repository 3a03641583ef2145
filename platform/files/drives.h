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
  // Where the system has them, a short name is taken to its long one, a
  // name to the case it is stored in, and a mapped or substituted drive to
  // the directory it shows (a network drive to its \\server\share path,
  // as "//server/share/..."), so that any two names of one directory resolve
  // to one path.
  virtual std::string ResolvedDirectory(const std::string& native_path) = 0;

  // The existing directory `names` ('/' between them) below the directory
  // `root`, found as a program that lists directories finds a name (DOSBox
  // does): by the name the directory is stored under, without regard to
  // ASCII case (to any case where the system ignores it), never by a short name
  // the system keeps beside it; then resolved as ResolvedDirectory resolves it.
  // Throws Error "find the directory <root>/<names>: <why>",
  // ErrorKind::kNotFound when a name on the way is missing.
  virtual std::string ResolvedAsListed(const std::string& root,
                                       const std::string& names) = 0;

  // `dos_text`, bytes in the code page of the system's DOS programs (a
  // name from a PIF, say), as UTF-8.
  virtual std::string FromDosCodePage(const std::string& dos_text) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_DRIVES_H_

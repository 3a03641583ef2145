#ifndef ZINDO_PLATFORM_FILES_DRIVES_POSIX_H_
#define ZINDO_PLATFORM_FILES_DRIVES_POSIX_H_

#include <map>
#include <string>

#include "platform/files/drives.h"
#include "platform/files/file_system-posix.h"

namespace zindo {

// The name in `directory` that is `name` but for ASCII case, as DOSBox
// matches a DOS name against the names it lists; "" when there is none.
// Throws Error "<what>: <why>" when the directory cannot be listed.
std::string CaseBlindName(const std::string& directory, const std::string& name,
                          const std::string& what);

// The drives and the working directory of the prefix that `files` reads.
class PosixDrives : public Drives {
 public:
  explicit PosixDrives(PosixFileSystem& files) : files_(files) {}

  std::map<char, Drive> MappedDrives() override;
  std::string WorkingDirectory() override;
  std::string ResolvedDirectory(const std::string& native_path) override;
  std::string ResolvedAsListed(const std::string& root,
                               const std::string& names) override;
  // DOSBox's own code page, 437, unless its settings say otherwise.
  std::string FromDosCodePage(const std::string& dos_text) override;

 private:
  PosixFileSystem& files_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_DRIVES_POSIX_H_

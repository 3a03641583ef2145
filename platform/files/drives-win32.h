#ifndef ZINDO_PLATFORM_FILES_DRIVES_WIN32_H_
#define ZINDO_PLATFORM_FILES_DRIVES_WIN32_H_

#include <map>
#include <string>

#include "platform/files/drives.h"
#include "platform/files/file_system-win32.h"

namespace zindo {

// The machine's drives by their letters, and the working directory of
// `files`.
class Win32Drives : public Drives {
 public:
  explicit Win32Drives(Win32FileSystem& files) : files_(files) {}

  std::map<char, Drive> MappedDrives() override;
  std::string WorkingDirectory() override;
  // GetFinalPathNameByHandleW, which resolves short names, case, links,
  // SUBST and mapped drives alike.
  std::string ResolvedDirectory(const std::string& native_path) override;
  std::string ResolvedAsListed(const std::string& root,
                               const std::string& names) override;
  // The OEM code page, the one Windows runs DOS programs in.
  std::string FromDosCodePage(const std::string& dos_text) override;

 private:
  Win32FileSystem& files_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_DRIVES_WIN32_H_

#include "platform/files/user_files-win32.h"

#include <memory>

#include "platform/windows-win32.h"

namespace zindo {

UserFiles::UserFile Win32UserFiles::Read(const std::string& name) {
  UserFile file{files_.AbsolutePath(name), std::nullopt};
  if (::GetFileAttributesW(ToUtf16(file.path).c_str()) ==
          INVALID_FILE_ATTRIBUTES &&
      ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    return file;
  }
  std::unique_ptr<SequentialFile> opened = files_.OpenForReading(name);
  std::string contents;
  for (std::string part; !(part = opened->Read(4096)).empty();) {
    contents += part;
  }
  file.contents = std::move(contents);
  return file;
}

}  // namespace zindo

#ifndef ZINDO_PLATFORM_FILES_USER_FILES_WIN32_H_
#define ZINDO_PLATFORM_FILES_USER_FILES_WIN32_H_

#include <string>

#include "platform/files/file_system-win32.h"
#include "platform/files/user_files.h"

namespace zindo {

// The user's files in the working directory of `files`, where the user
// keeps the relay's other files.
class Win32UserFiles : public UserFiles {
 public:
  explicit Win32UserFiles(Win32FileSystem& files) : files_(files) {}

  UserFile Read(const std::string& name) override;

 private:
  Win32FileSystem& files_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_USER_FILES_WIN32_H_

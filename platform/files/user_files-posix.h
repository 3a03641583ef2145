#ifndef ZINDO_PLATFORM_FILES_USER_FILES_POSIX_H_
#define ZINDO_PLATFORM_FILES_USER_FILES_POSIX_H_

#include <string>

#include "platform/files/file_system-posix.h"
#include "platform/files/user_files.h"

namespace zindo {

// The user's files in the prefix that `files` reads.
class PosixUserFiles : public UserFiles {
 public:
  explicit PosixUserFiles(PosixFileSystem& files) : files_(files) {}

  UserFile Read(const std::string& name) override;

 private:
  PosixFileSystem& files_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_USER_FILES_POSIX_H_

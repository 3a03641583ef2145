#ifndef ZINDO_PLATFORM_FILES_USER_FILES_H_
#define ZINDO_PLATFORM_FILES_USER_FILES_H_

#include <optional>
#include <string>

namespace zindo {

// The files in which the user keeps settings for the relay, in the folder
// where this system keeps them.
class UserFiles {
 public:
  virtual ~UserFiles() = default;

  // A user's file: its path, and its contents when it exists.
  struct UserFile {
    std::string path;
    std::optional<std::string> contents;
  };

  // The user's own file `name`. Throws Error when it exists but cannot be
  // read.
  virtual UserFile Read(const std::string& name) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_USER_FILES_H_

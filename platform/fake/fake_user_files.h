#ifndef ZINDO_PLATFORM_FAKE_FAKE_USER_FILES_H_
#define ZINDO_PLATFORM_FAKE_FAKE_USER_FILES_H_

#include <map>
#include <string>

#include "platform/files/user_files.h"

namespace zindo {

// The user's files, in "/prefix".
class FakeUserFiles : public UserFiles {
 public:
  UserFile Read(const std::string& name) override;

  std::map<std::string, std::string> contents;  // by name
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_USER_FILES_H_

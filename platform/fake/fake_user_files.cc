#include "platform/fake/fake_user_files.h"

namespace zindo {

UserFiles::UserFile FakeUserFiles::Read(const std::string& name) {
  const auto found = contents.find(name);
  if (found == contents.end()) return {"/prefix/" + name, std::nullopt};
  return {"/prefix/" + name, found->second};
}

}  // namespace zindo

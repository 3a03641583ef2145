#ifndef ZINDO_PLATFORM_FAKE_FAKE_DRIVES_H_
#define ZINDO_PLATFORM_FAKE_FAKE_DRIVES_H_

#include <map>
#include <string>

#include "platform/files/drives.h"

namespace zindo {

// A machine whose drive C: is the native directory "/c" and whose working
// directory is "/c/ZINDO".
class FakeDrives : public Drives {
 public:
  std::map<char, Drive> MappedDrives() override { return drives; }
  std::string WorkingDirectory() override { return "/c/ZINDO"; }
  // What `directories` holds for the path; missing for the rest.
  std::string ResolvedDirectory(const std::string& native_path) override;

  std::map<char, Drive> drives = {{'C', {"/c", false}}};
  // The directories that exist, each with the path it resolves to (another
  // one where a link leads elsewhere).
  std::map<std::string, std::string> directories = {{"/c", "/c"},
                                                    {"/c/ZINDO", "/c/ZINDO"}};
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_DRIVES_H_

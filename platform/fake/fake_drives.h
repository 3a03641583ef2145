#ifndef ZINDO_PLATFORM_FAKE_FAKE_DRIVES_H_
#define ZINDO_PLATFORM_FAKE_FAKE_DRIVES_H_

#include <map>
#include <set>
#include <string>

#include "platform/files/drives.h"

namespace zindo {

// A machine whose drive C: is the native directory "/c" and whose working
// directory is "/c/ZINDO", unless a test sets others.
class FakeDrives : public Drives {
 public:
  std::map<char, Drive> MappedDrives() override { return drives; }
  std::string WorkingDirectory() override { return working; }
  // What `directories` holds for the path; missing for the rest, but those
  // in `unreadable`.
  std::string ResolvedDirectory(const std::string& native_path) override;
  // The same for `root`/`names`, the key matched without regard to ASCII
  // case.
  std::string ResolvedAsListed(const std::string& root,
                               const std::string& names) override;
  // Code page 437.
  std::string FromDosCodePage(const std::string& dos_text) override;

  std::map<char, Drive> drives = {{'C', {"/c", false}}};
  std::string working = "/c/ZINDO";
  // The directories that exist, each with the path it resolves to (another
  // one where a link leads elsewhere).
  std::map<std::string, std::string> directories = {{"/c", "/c"},
                                                    {"/c/ZINDO", "/c/ZINDO"}};
  // Directories that are there but cannot be read: "Permission denied".
  std::set<std::string> unreadable;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_DRIVES_H_

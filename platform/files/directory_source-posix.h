#ifndef ZINDO_PLATFORM_FILES_DIRECTORY_SOURCE_POSIX_H_
#define ZINDO_PLATFORM_FILES_DIRECTORY_SOURCE_POSIX_H_

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "base/directory_monitor.h"
#include "platform/descriptor-posix.h"

namespace zindo {

// Whether inotify sees every change made to a directory on a file system of
// type `magic` (statfs's f_type). It does not on network and cluster file
// systems (NFS, SMB/CIFS, 9p, Ceph, AFS and the like) and on FUSE, where
// other machines, or a daemon's own back end, change names without the
// local kernel knowing.
bool InotifySeesEveryChange(long magic);

// Directories through inotify: one instance for every directory watched,
// read without waiting. Where inotify is blind or out of instances or
// watches, Watch returns -1 and the monitor lists the directory every so
// often instead; `report` is told so once, with the reason.
class InotifyDirectorySource : public DirectorySource {
 public:
  // With `poll_only`, nothing is watched, as on a network share: for trying
  // what one costs on a local directory.
  InotifyDirectorySource(bool poll_only,
                         std::function<void(const std::string&)> report);

  std::optional<DirectoryId> Identify(const std::string& path) override;
  bool List(const std::string& path,
            const std::function<void(std::string_view)>& entry) override;
  int Watch(const std::string& path) override;
  void Unwatch(int watch) override;
  void ReadEvents(std::vector<DirectoryEvent>& events) override;
  double MonotonicSeconds() override;
  double ProcessorSeconds() override;

  // Readable when events wait; -1 when there is no inotify instance.
  int descriptor() const { return events_.get(); }

 private:
  void ReportOnce(const std::string& why);

  UniqueFd events_;
  std::function<void(const std::string&)> report_;
  bool reported_ = false;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_DIRECTORY_SOURCE_POSIX_H_

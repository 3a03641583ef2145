#include "platform/files/directory_source-posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/system/clock-posix.h"

namespace zindo {
namespace {

// Names that appear or go, and the end of the watch. Contents do not
// matter: the relay asks only which names exist.
constexpr std::uint32_t kNameChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO |
                                       IN_MOVED_FROM | IN_DELETE_SELF |
                                       IN_MOVE_SELF | IN_ONLYDIR;

// statfs f_type values of file systems whose names other machines or a
// user-space daemon change without the local kernel's knowledge.
constexpr long kBlindFileSystems[] = {
    0x6969,      // NFS
    0x517B,      // SMB (smbfs)
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2/3
    0x65735546,  // FUSE (sshfs, rclone, ...)
    0x01021997,  // 9p (virtual machines' shared folders)
    0x00C36400,  // Ceph
    0x5346414F,  // AFS
    0x6B414653,  // kAFS
    0x73757245,  // Coda
    0x786F4256,  // VirtualBox shared folders
    0x0BD00BD0,  // Lustre
    0x01161970,  // GFS2
    0x7461636F,  // OCFS2
    0x47504653,  // GPFS
};

std::string LimitHint(int error) {
  if (error == EMFILE) {
    return "; see fs.inotify.max_user_instances and the open files limit";
  }
  if (error == ENOSPC) return "; see fs.inotify.max_user_watches";
  return "";
}

DirectoryEvent::Kind KindOf(std::uint32_t mask) {
  using Kind = DirectoryEvent::Kind;
  if (mask & IN_Q_OVERFLOW) return Kind::kLost;
  if (mask & (IN_CREATE | IN_MOVED_TO)) return Kind::kAdded;
  if (mask & (IN_DELETE | IN_MOVED_FROM)) return Kind::kRemoved;
  return Kind::kGone;  // IN_IGNORED, IN_DELETE_SELF, IN_MOVE_SELF, IN_UNMOUNT
}

}  // namespace

bool InotifySeesEveryChange(long magic) {
  for (long blind : kBlindFileSystems) {
    if (magic == blind) return false;
  }
  return true;
}

InotifyDirectorySource::InotifyDirectorySource(
    bool poll_only, std::function<void(const std::string&)> report)
    : report_(std::move(report)) {
  if (poll_only) {
    ReportOnce("ZINDO_POLL_DIRECTORY is set");
    return;
  }
  events_ = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!events_.valid()) {
    const int error = errno;
    ReportOnce(std::string("inotify: ") + std::strerror(error) +
               LimitHint(error));
  }
}

std::optional<DirectoryId> InotifyDirectorySource::Identify(
    const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return std::nullopt;
  }
  return DirectoryId{static_cast<std::uint64_t>(status.st_dev),
                     static_cast<std::uint64_t>(status.st_ino)};
}

bool InotifyDirectorySource::List(
    const std::string& path,
    const std::function<void(std::string_view)>& entry) {
  DIR* stream = ::opendir(path.c_str());
  if (stream == nullptr) return false;
  errno = 0;
  while (const dirent* found = ::readdir(stream)) {
    entry(found->d_name);
    errno = 0;
  }
  const bool complete = errno == 0;
  ::closedir(stream);
  return complete;
}

int InotifyDirectorySource::Watch(const std::string& path) {
  if (!events_.valid()) return -1;
  struct statfs where;
  if (::statfs(path.c_str(), &where) == 0 &&
      !InotifySeesEveryChange(static_cast<long>(where.f_type))) {
    ReportOnce(path + " is on a network or user-space file system");
    return -1;
  }
  const int watch =
      ::inotify_add_watch(events_.get(), path.c_str(), kNameChanges);
  if (watch < 0) {
    const int error = errno;
    ReportOnce(std::string("inotify: ") + std::strerror(error) +
               LimitHint(error));
  }
  return watch;
}

void InotifyDirectorySource::Unwatch(int watch) {
  if (events_.valid()) ::inotify_rm_watch(events_.get(), watch);
}

void InotifyDirectorySource::ReadEvents(std::vector<DirectoryEvent>& events) {
  if (!events_.valid()) return;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(events_.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      std::string name = event->len > 0 ? event->name : "";
      events.push_back({KindOf(event->mask), event->wd, std::move(name)});
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

double InotifyDirectorySource::MonotonicSeconds() { return MonotonicNow(); }

double InotifyDirectorySource::ProcessorSeconds() {
  return ThreadProcessorSeconds();
}

void InotifyDirectorySource::ReportOnce(const std::string& why) {
  if (reported_ || !report_) return;
  reported_ = true;
  report_(
      "the working directory is not watched but listed every 0.25 s or "
      "more (" +
      why + ")");
}

}  // namespace zindo

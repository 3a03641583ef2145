#include "tools/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/error.h"
#include "platform/files/file_system-posix.h"

namespace zindo::tools {
namespace {

[[noreturn]] void ThrowSystemError(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_fd_ < 0) ThrowSystemError("posix_openpt");
  char name[128];
  if (grantpt(master_fd_) != 0 || unlockpt(master_fd_) != 0 ||
      ptsname_r(master_fd_, name, sizeof name) != 0) {
    const int saved = errno;
    close(master_fd_);
    errno = saved;
    ThrowSystemError("preparing the pseudo-terminal slave");
  }
  slave_path_ = name;
}

PseudoTerminal::~PseudoTerminal() { CloseMaster(); }

void PseudoTerminal::HandSlaveTo(uid_t uid, gid_t gid) const {
  if (chown(slave_path_.c_str(), uid, gid) != 0) {
    ThrowSystemError("chown " + slave_path_);
  }
}

void PseudoTerminal::CloseMaster() {
  if (master_fd_ >= 0) close(master_fd_);
  master_fd_ = -1;
}

namespace {

// Why the entry at `path` may not be replaced, or "" when it may.
std::string ReasonToKeep(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return "";  // nothing there
  if (!S_ISLNK(status.st_mode)) {
    return S_ISDIR(status.st_mode) ? "a directory" : "a file";
  }
  const std::string target = LinkTarget(path).value_or("");
  if (target.starts_with("/dev/pts/")) return "";
  return "a link to " + target;
}

}  // namespace

void PointLinkAt(const std::string& link_path, const std::string& target,
                 Replace replace) {
  if (replace == Replace::kOnlyPseudoTerminalLinks) {
    const std::string reason = ReasonToKeep(link_path);
    if (!reason.empty()) {
      throw Error(link_path + " is already there, " + reason +
                  "; it is kept (--force replaces it)");
    }
  }
  // A link under a temporary name renamed over the old one: rename replaces
  // atomically, where unlink + symlink would leave a moment with no link.
  const std::string temporary = link_path + ".new-link";
  // A fresh prefix has no dosdevices/ yet.
  const std::filesystem::path folder =
      std::filesystem::path(link_path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    ThrowSystemError("symlink " + temporary);
  }
  if (rename(temporary.c_str(), link_path.c_str()) != 0) {
    const int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    ThrowSystemError("rename " + temporary + " to " + link_path);
  }
}

void RemoveLinkIfPointingAt(const std::string& link_path,
                            const std::string& target) {
  if (LinkTarget(link_path) == target) unlink(link_path.c_str());
}

}  // namespace zindo::tools

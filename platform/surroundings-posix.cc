#include "platform/surroundings-posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "base/device_access.h"
#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/files/directory_source-posix.h"
#include "platform/programs/programs-posix.h"
#include "platform/programs/spawn-posix.h"

namespace zindo {
namespace {

using Verdict = Finding::Verdict;

constexpr char kInotifyLimits[] = "/proc/sys/fs/inotify/";

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// "link -> target", following every link on the way to the device.
std::string LinkChain(const std::string& path) {
  std::string chain = path;
  std::string step = path;
  for (int links = 0; links < 8; ++links) {
    std::string next = LinkTarget(step).value_or("");
    if (next.empty()) break;
    if (!next.starts_with('/')) {
      next = std::filesystem::path(step.substr(0, step.rfind('/') + 1) + next)
                 .lexically_normal();
    }
    chain += " -> " + next;
    step = next;
  }
  return chain;
}

std::string NameOfUser(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string NameOfGroup(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

UserGroups CurrentUserGroups() {
  UserGroups user{::geteuid(), {::getegid()}, {}};
  std::vector<gid_t> groups(NGROUPS_MAX);
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  for (int i = 0; i < count; ++i) user.session_groups.push_back(groups[i]);
  const passwd* account = ::getpwuid(user.uid);
  if (account == nullptr) return user;
  int listed = NGROUPS_MAX;
  groups.assign(NGROUPS_MAX, 0);
  if (::getgrouplist(account->pw_name, account->pw_gid, groups.data(),
                     &listed) < 0) {
    return user;
  }
  user.account_groups.assign(groups.begin(), groups.begin() + listed);
  return user;
}

}  // namespace

std::string DeviceAccessProblem(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return "";
  const DeviceOwnership device{status.st_uid, status.st_gid,
                               status.st_mode & 0777u};
  return DeviceAccessAdvice(JudgeDeviceAccess(device, CurrentUserGroups()),
                            path, NameOfGroup(status.st_gid),
                            NameOfUser(::geteuid()));
}

int LockHolder(const std::string& proc_locks, unsigned long long device,
               unsigned long long inode) {
  std::istringstream lines(proc_locks);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, where;
    int pid = 0;
    if (!(fields >> number >> kind) || kind == "->") continue;
    if (kind != "FLOCK" || !(fields >> advisory >> mode >> pid >> where)) {
      continue;
    }
    unsigned int major_number = 0, minor_number = 0;
    unsigned long long locked_inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major_number, &minor_number,
                    &locked_inode) == 3 &&
        makedev(major_number, minor_number) == device &&
        locked_inode == inode) {
      return pid;
    }
  }
  return 0;
}

int InotifyInstancesInUse() {
  const std::string self = std::to_string(::getpid());
  int in_use = 0;
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return 0;
  while (const dirent* process = ::readdir(processes)) {
    const std::string pid = process->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos ||
        pid == self) {
      continue;
    }
    struct stat owner;
    const std::string root = "/proc/" + pid;
    if (::stat(root.c_str(), &owner) != 0 || owner.st_uid != ::geteuid()) {
      continue;  // another user's: it counts against their limit, not ours
    }
    const std::string fds = root + "/fd";
    DIR* descriptors = ::opendir(fds.c_str());
    if (descriptors == nullptr) continue;
    while (const dirent* fd = ::readdir(descriptors)) {
      char target[64];
      const std::string link = fds + "/" + fd->d_name;
      const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
      if (length > 0 && std::string(target, length) == "anon_inode:inotify") {
        ++in_use;
      }
    }
    ::closedir(descriptors);
  }
  ::closedir(processes);
  return in_use;
}

Finding PosixSurroundings::Prefix() {
  Finding finding{Verdict::kGood, prefix_.path + " (from " + prefix_.source,
                  ""};
  finding.text += prefix_.source == "HOME" ? ": ZINDO_PREFIX is not set)" : ")";
  struct stat status;
  if (::stat(prefix_.path.c_str(), &status) != 0) {
    finding.text += "; it does not exist yet";
  }
  return finding;
}

Finding PosixSurroundings::WorkingDirectory() {
  const std::string& directory = files_.working_directory();
  Finding finding{Verdict::kGood, directory, ""};
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    return {Verdict::kBlocking, directory + ": " + std::strerror(errno),
            "make the companion's folder writable for this user, or start "
            "the relay as the user who owns it"};
  }
  return finding;
}

namespace {

// Whether a user other than `owner` and root is in the group `gid`: named
// in it, or having it as their own. An unknown group may hold anyone.
bool GroupHasOtherMembers(gid_t gid, uid_t owner) {
  const std::string owner_name = NameOfUser(owner);
  const group* entry = ::getgrgid(gid);
  if (entry == nullptr) return true;
  for (char** member = entry->gr_mem; *member != nullptr; ++member) {
    if (*member != owner_name && std::string_view(*member) != "root") {
      return true;
    }
  }
  bool other = false;
  ::setpwent();
  while (const passwd* account = ::getpwent()) {
    if (account->pw_gid == gid && account->pw_uid != owner &&
        account->pw_uid != 0) {
      other = true;
      break;
    }
  }
  ::endpwent();
  return other;
}

// Who a folder's access ACL lets write besides its owner, through its mask.
struct AclWriters {
  bool present = false;
  bool group = false;  // the owning group
  bool named = false;  // a user or group that the ACL names
};

// The ACL as the kernel stores it: a 4-byte version, then entries of a
// 16-bit tag, 16-bit permissions and a 32-bit id, little-endian.
AclWriters ReadAclWriters(const std::string& directory) {
  unsigned char acl[4096];
  const ssize_t size =
      ::getxattr(directory.c_str(), "system.posix_acl_access", acl, sizeof acl);
  AclWriters writers;
  if (size < 4) return writers;
  writers.present = true;
  unsigned mask = 07;
  for (ssize_t at = 4; at + 8 <= size; at += 8) {
    const unsigned tag = acl[at] | acl[at + 1] << 8;
    const bool writes = (acl[at + 2] & 02) != 0;
    if (tag == 0x04) writers.group = writes;                  // group
    if (tag == 0x02 || tag == 0x08) writers.named |= writes;  // named
    if (tag == 0x10) mask = acl[at + 2];                      // mask
  }
  writers.group &= (mask & 02) != 0;
  writers.named &= (mask & 02) != 0;
  return writers;
}

}  // namespace

std::string OtherWritersOf(const std::string& directory) {
  struct stat status;
  if (::stat(directory.c_str(), &status) != 0) return "";
  std::vector<std::string> writers;
  if (status.st_uid != ::geteuid() && status.st_uid != 0) {
    writers.push_back("its owner " + NameOfUser(status.st_uid));
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", status.st_mode & 07777u);
  if ((status.st_mode & S_IWOTH) != 0) {
    writers.push_back(std::string("everyone (mode ") + mode + ")");
  }
  const AclWriters acl = ReadAclWriters(directory);
  const bool group = acl.present ? acl.group : (status.st_mode & S_IWGRP) != 0;
  if (group && GroupHasOtherMembers(status.st_gid, status.st_uid)) {
    writers.push_back("the group " + NameOfGroup(status.st_gid));
  }
  if (acl.named) writers.push_back("those its ACL names");
  std::string text;
  for (const std::string& writer : writers) {
    text += (text.empty() ? "" : ", ") + writer;
  }
  return text;
}

Finding PosixSurroundings::OtherWriters() {
  const std::string& directory = files_.working_directory();
  return OtherWritersFinding(
      directory, OtherWritersOf(directory),
      "let only this user write there: chmod go-w " + directory +
          (ReadAclWriters(directory).present ? "; setfacl -b " + directory
                                             : ""));
}

Finding LocalDeviceFinding(int port, const std::string& path,
                           const std::string& missing_link,
                           const std::vector<KnownPort>& known) {
  const std::string com = "COM" + std::to_string(port);
  const std::string map_fix =
      "map the adapter to the port: zindo-setup --map " + std::to_string(port) +
      " ADAPTER (zindo-setup --list shows them)";
  const bool fallback = !missing_link.empty();
  Finding finding{Verdict::kGood, com + ": " + LinkChain(path), ""};
  if (fallback) {
    finding.text =
        com + ": no " + missing_link + " link, so the relay would open " + path;
  }
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    finding.verdict = Verdict::kBlocking;
    finding.text +=
        ": " + (errno == ENOENT ? NoSuchPortText(known)
                                : std::string(std::strerror(errno)));
    finding.fix = fallback ? map_fix
                           : "plug the adapter in, or map the port to one "
                             "that is there (zindo-setup --list)";
    return finding;
  }
  if (const std::string denied = DeviceAccessProblem(path); !denied.empty()) {
    return {Verdict::kBlocking, finding.text + ": this user may not open it",
            fallback ? map_fix + "; or " + denied : denied};
  }
  if (const int holder =
          LockHolder(ReadText("/proc/locks"), status.st_dev, status.st_ino)) {
    const std::string name =
        ReadText("/proc/" + std::to_string(holder) + "/comm");
    finding.verdict = Verdict::kBlocking;
    finding.text += std::string(": ") + kPortInUse + ": process " +
                    std::to_string(holder) + " " +
                    name.substr(0, name.find('\n'));
    finding.fix =
        "end that program (another relay ends when asked by the "
        "companion), then start the relay";
    return finding;
  }
  if (fallback) {
    return {
        Verdict::kWarning,
        finding.text + ", which on many PCs is a built-in port or the console",
        map_fix};
  }
  finding.text += ": can be opened now";
  return finding;
}

Finding PosixSurroundings::Device(int port) {
  const std::string path = ports_.DevicePath(port);
  if (const std::string server = ports_.ServerOf(port); !server.empty()) {
    return ServerPortFinding("COM" + std::to_string(port), path, server);
  }
  // Without a link the relay falls back to the built-in port of that number.
  const bool fallback = path.starts_with("/dev/ttyS");
  return LocalDeviceFinding(
      port, path,
      fallback ? prefix_.path + "/dosdevices/com" + std::to_string(port) : "",
      ports_.KnownPorts());
}

Finding PosixSurroundings::Display() {
  if (!desktop_.HasDisplay()) {
    return {Verdict::kWarning,
            "none (DISPLAY and WAYLAND_DISPLAY are not set): messages go to "
            "standard error only, and DOSBox cannot be made to read its "
            "directories again: a DOS companion's FindFirst for the relay's "
            "files is answered by the idle helper, but a directory listing "
            "or a wildcard search would not see new files",
            "start the relay from the desktop (zindo-setup --desktop "
            "writes a launcher), or on a virtual one (Xvfb :5 -noreset)"};
  }
  const std::string display =
      desktop_.display.empty() ? desktop_.wayland_display : desktop_.display;
  const std::vector<std::string> dialog = DialogCommand(desktop_, "", "");
  if (dialog.empty()) {
    return {Verdict::kWarning,
            display +
                ": messages go to standard error only: neither zenity "
                "nor kdialog is installed",
            "install zenity (sudo apt install zenity)"};
  }
  Finding finding{Verdict::kGood,
                  display + ": messages shown with " + dialog.front(), ""};
  if (desktop_.display.empty()) {
    finding.verdict = Verdict::kWarning;
    finding.text += "; without DISPLAY, no key can make DOSBox see new files";
    finding.fix = "run the relay in a session with X or XWayland (DISPLAY)";
  }
  return finding;
}

Finding PosixSurroundings::DirectoryWatching() {
  const int instances = std::atoi(
      ReadText(std::string(kInotifyLimits) + "max_user_instances").c_str());
  const int watches = std::atoi(
      ReadText(std::string(kInotifyLimits) + "max_user_watches").c_str());
  const int in_use = InotifyInstancesInUse();
  Finding finding{Verdict::kGood,
                  "inotify, " + std::to_string(in_use) + " of " +
                      std::to_string(instances) +
                      " instances in use by this user's other programs (" +
                      std::to_string(watches) + " watches each)",
                  ""};
  struct statfs file_system;
  if (::statfs(files_.working_directory().c_str(), &file_system) == 0 &&
      !InotifySeesEveryChange(static_cast<long>(file_system.f_type))) {
    finding.text =
        "listing the directory every 0.25 s or more: it lies on "
        "a network or FUSE file system that inotify cannot see";
    return finding;
  }
  if (in_use >= instances) {
    finding.verdict = Verdict::kWarning;
    finding.text +=
        ": none is left, so the relay would list its directory "
        "every 0.25 s instead";
    finding.fix =
        "raise the limit: sudo sysctl fs.inotify.max_user_instances=" +
        std::to_string(instances * 2);
  }
  return finding;
}

std::string PosixSurroundings::ProgramVersion(const std::string& program) {
  return FirstOutputLine({program, "-version"});
}

}  // namespace zindo

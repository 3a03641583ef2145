#ifndef ZINDO_PLATFORM_SURROUNDINGS_POSIX_H_
#define ZINDO_PLATFORM_SURROUNDINGS_POSIX_H_

#include <string>
#include <vector>

#include "platform/desktop/desktop_dialog-posix.h"
#include "platform/files/file_system-posix.h"
#include "platform/platform-posix.h"
#include "platform/serial/serial_device-posix.h"
#include "platform/surroundings.h"

namespace zindo {

// What the relay would meet on a POSIX system: the prefix and its
// dosdevices links, device permissions and the locks on them
// (/proc/locks), the display variables and dialog programs, and inotify's
// per-user limits (/proc/sys/fs/inotify).
class PosixSurroundings : public Surroundings {
 public:
  PosixSurroundings(PrefixOrigin prefix, PosixFileSystem& files,
                    PosixSerialPorts& ports, DesktopEnvironment desktop)
      : prefix_(std::move(prefix)),
        files_(files),
        ports_(ports),
        desktop_(std::move(desktop)) {}

  Finding Prefix() override;
  Finding WorkingDirectory() override;
  Finding OtherWriters() override;
  std::string NativePath(const std::string& path) override {
    return files_.FindExisting(path);
  }
  Finding Device(int port) override;
  Finding Display() override;
  Finding DirectoryWatching() override;
  std::string ProgramVersion(const std::string& program) override;

 private:
  PrefixOrigin prefix_;
  PosixFileSystem& files_;
  PosixSerialPorts& ports_;
  DesktopEnvironment desktop_;
};

// Port `port`'s device at `path` as a check judges it, never opening it (on
// many PCs a built-in port is the console): missing, closed to this user,
// held by another program, or free. `missing_link` names the absent link
// when the relay would fall back to the built-in port of that number, which
// is then a warning at best; "" when a link names `path`. A device that is
// not there is said as the relay says it, with the ports `known`.
Finding LocalDeviceFinding(int port, const std::string& path,
                           const std::string& missing_link,
                           const std::vector<KnownPort>& known);

// What stops this user from opening the device at `path` for reading and
// writing, with what to do about it, in one line; "" when nothing does, and
// when there is no such device.
std::string DeviceAccessProblem(const std::string& path);

// The process that holds an flock on the file with device `device` and
// inode `inode`, read from the text of /proc/locks, or 0 when none does.
int LockHolder(const std::string& proc_locks, unsigned long long device,
               unsigned long long inode);

// Who besides this user and root may write in `directory`, as a phrase
// ("everyone (mode 0777), the group staff"), from its owner, its mode and
// its ACL; "" when nobody may. A group whose only member is the folder's
// owner (a user's own group) does not count.
std::string OtherWritersOf(const std::string& directory);

// The inotify instances that processes other than this one hold, among
// those under /proc that this user may look into.
int InotifyInstancesInUse();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SURROUNDINGS_POSIX_H_

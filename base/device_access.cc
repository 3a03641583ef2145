#include "base/device_access.h"

#include <algorithm>

namespace zindo {
namespace {

constexpr unsigned kOwnerReadWrite = 0600;
constexpr unsigned kGroupReadWrite = 0060;
constexpr unsigned kOtherReadWrite = 0006;

bool Allows(unsigned mode, unsigned read_write) {
  return (mode & read_write) == read_write;
}

bool Holds(const std::vector<unsigned>& groups, unsigned group) {
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

}  // namespace

// The kernel checks the owner's bits for the owner, the group's for a member
// of the group, and the others' for everyone else, never more than one.
DeviceAccess JudgeDeviceAccess(const DeviceOwnership& device,
                               const UserGroups& user) {
  if (user.uid == 0) return DeviceAccess::kAllowed;
  if (user.uid == device.owner) {
    return Allows(device.mode, kOwnerReadWrite) ? DeviceAccess::kAllowed
                                                : DeviceAccess::kDenied;
  }
  const bool group_may = Allows(device.mode, kGroupReadWrite);
  if (Holds(user.session_groups, device.group)) {
    return group_may ? DeviceAccess::kAllowed : DeviceAccess::kDenied;
  }
  if (Allows(device.mode, kOtherReadWrite)) return DeviceAccess::kAllowed;
  if (!group_may) return DeviceAccess::kDenied;
  return Holds(user.account_groups, device.group) ? DeviceAccess::kNeedsNewLogin
                                                  : DeviceAccess::kNeedsGroup;
}

std::string DeviceAccessAdvice(DeviceAccess access, const std::string& device,
                               const std::string& group,
                               const std::string& user) {
  switch (access) {
    case DeviceAccess::kAllowed:
      return "";
    case DeviceAccess::kNeedsNewLogin:
      return user + " is in group " + group + ", which may use " + device +
             ", but only from the next login: log out and in again (or "
             "restart)";
    case DeviceAccess::kNeedsGroup:
      return "only group " + group + " may use " + device + ": run 'sudo " +
             "usermod -aG " + group + " " + user +
             "', then log out and in again (or restart)";
    case DeviceAccess::kDenied:
      break;
  }
  return "only its owner may use " + device +
         ": ask the administrator for a udev rule that gives it to a group "
         "such as dialout";
}

}  // namespace zindo

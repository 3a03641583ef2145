#ifndef ZINDO_BASE_DEVICE_ACCESS_H_
#define ZINDO_BASE_DEVICE_ACCESS_H_

#include <string>
#include <vector>

namespace zindo {

// Who owns a device file and what its permission bits allow.
struct DeviceOwnership {
  unsigned owner = 0;
  unsigned group = 0;
  unsigned mode = 0;  // the permission bits, e.g. 0660
};

// A user as the system sees a program of theirs, and as their account is
// set up: a group added to the account counts only from the next login.
struct UserGroups {
  unsigned uid = 0;
  std::vector<unsigned> session_groups;  // this process's, primary included
  std::vector<unsigned> account_groups;  // the account's, primary included
};

enum class DeviceAccess {
  kAllowed,        // the user may read and write the device now
  kNeedsNewLogin,  // the account has the device's group; this session not
  kNeedsGroup,     // the device's group may use it; the user is not in it
  kDenied,         // no group would help: only its owner (or root) may
};

// Whether `user` may open the device for reading and writing, and if not,
// what would change that. Root may always.
DeviceAccess JudgeDeviceAccess(const DeviceOwnership& device,
                               const UserGroups& user);

// One line that says what to do about `access` to `device`, whose group is
// named `group`, for the user named `user`: the exact command, and that a
// new login is needed. "" when access is allowed.
std::string DeviceAccessAdvice(DeviceAccess access, const std::string& device,
                               const std::string& group,
                               const std::string& user);

}  // namespace zindo

#endif  // ZINDO_BASE_DEVICE_ACCESS_H_

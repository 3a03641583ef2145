#include "base/device_access.h"

#include <gtest/gtest.h>

namespace zindo {
namespace {

constexpr unsigned kUser = 1000;
constexpr unsigned kDialout = 20;
constexpr unsigned kUsers = 100;

// A device as udev makes a serial adapter: root's, group dialout, 0660;
// and the ways a user may stand to it.
TEST(JudgeDeviceAccessTest, ByOwnerGroupAndLogin) {
  const DeviceOwnership adapter{0, kDialout, 0660};
  const struct {
    const char* name;
    DeviceOwnership device;
    UserGroups user;
    DeviceAccess expected;
  } cases[] = {
      {"member",
       adapter,
       {kUser, {kUsers, kDialout}, {kUsers, kDialout}},
       DeviceAccess::kAllowed},
      {"added, not logged in again",
       adapter,
       {kUser, {kUsers}, {kUsers, kDialout}},
       DeviceAccess::kNeedsNewLogin},
      {"not a member",
       adapter,
       {kUser, {kUsers}, {kUsers}},
       DeviceAccess::kNeedsGroup},
      {"root", adapter, {0, {0}, {0}}, DeviceAccess::kAllowed},
      {"owner",
       {kUser, kDialout, 0600},
       {kUser, {kUsers}, {kUsers}},
       DeviceAccess::kAllowed},
      // The owner's bits alone count for the owner, the group's for a member.
      {"owner without rights",
       {kUser, kDialout, 0066},
       {kUser, {kDialout}, {kDialout}},
       DeviceAccess::kDenied},
      {"member of a read-only group",
       {0, kDialout, 0646},
       {kUser, {kDialout}, {kDialout}},
       DeviceAccess::kDenied},
      {"anyone may",
       {0, kDialout, 0666},
       {kUser, {kUsers}, {kUsers}},
       DeviceAccess::kAllowed},
      {"root's alone",
       {0, 0, 0600},
       {kUser, {kUsers}, {kUsers}},
       DeviceAccess::kDenied},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeDeviceAccess(c.device, c.user), c.expected) << c.name;
  }
}

TEST(DeviceAccessAdviceTest, NamesTheGroupTheCommandAndTheLogin) {
  const std::string needs_group = DeviceAccessAdvice(
      DeviceAccess::kNeedsGroup, "/dev/ttyUSB0", "dialout", "ana");
  EXPECT_NE(needs_group.find("sudo usermod -aG dialout ana"), std::string::npos)
      << needs_group;
  EXPECT_NE(needs_group.find("log out and in again"), std::string::npos);
  const std::string new_login = DeviceAccessAdvice(
      DeviceAccess::kNeedsNewLogin, "/dev/ttyUSB0", "dialout", "ana");
  EXPECT_EQ(new_login.find("usermod"), std::string::npos) << new_login;
  EXPECT_NE(new_login.find("log out and in again"), std::string::npos);
  EXPECT_EQ(DeviceAccessAdvice(DeviceAccess::kAllowed, "/dev/ttyUSB0",
                               "dialout", "ana"),
            "");
}

}  // namespace
}  // namespace zindo

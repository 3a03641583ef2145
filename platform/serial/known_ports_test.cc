#include "platform/serial/known_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zindo {
namespace {

// Device Manager's names win over the bare ones the registry lists, each
// port once, in the order of the numbers, whichever list had it first.
TEST(KnownPortsTest, JoinsListsByNumberKeepingFriendlyNames) {
  const std::vector<KnownPort> device_manager = {
      {3, "USB Serial Port (COM3)"}, {1, "Communications Port (COM1)"}};
  const std::vector<KnownPort> registry = {
      {1, "COM1"}, {3, "COM3"}, {7, "COM7"}};
  const std::vector<KnownPort> joined = {{1, "Communications Port (COM1)"},
                                         {3, "USB Serial Port (COM3)"},
                                         {7, "COM7"}};
  EXPECT_EQ(JoinPortLists(device_manager, registry), joined);
  EXPECT_EQ(JoinPortLists(registry, device_manager), joined);
  EXPECT_EQ(NoSuchPortText(joined),
            "no such port on this PC (it has COM1, COM3, COM7)");
  EXPECT_EQ(NoSuchPortText({}), "no such port on this PC (it has no COM port)");
}

}  // namespace
}  // namespace zindo

#include "platform/surroundings-posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::TemporaryDirectory;
using Verdict = Finding::Verdict;

// A port's device as --check judges it, whether a link names it or the relay
// would fall back to the built-in port of its number: a device that is not
// there is a problem either way, and a fallback that is there is a warning.
TEST(LocalDeviceFindingTest, MissingIsAProblemAndAFallbackNeverPassesQuietly) {
  TemporaryDirectory folder;
  const std::string there = folder / "adapter";
  const std::string gone = folder / "unplugged";
  posix_test::WriteNativeFile(there, "");
  const std::string link = "/prefix/dosdevices/com2";
  const struct {
    std::string path, missing_link;
    Verdict verdict;
    std::string text, fix;
  } cases[] = {
      {gone, link, Verdict::kBlocking,
       "COM2: no " + link + " link, so the relay would open " + gone +
           ": no such port on this PC (it has COM4)",
       "map the adapter to the port: zindo-setup --map 2 ADAPTER"},
      {gone, "", Verdict::kBlocking, ": no such port on this PC (it has COM4)",
       "plug the adapter in"},
      {there, link, Verdict::kWarning, "a built-in port or the console",
       "map the adapter to the port: zindo-setup --map 2 ADAPTER"},
      {there, "", Verdict::kGood, "can be opened now", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + ", missing link \"" + c.missing_link + "\"");
    const Finding finding =
        LocalDeviceFinding(2, c.path, c.missing_link, {{4, "COM4 (/x)"}});
    EXPECT_EQ(finding.verdict, c.verdict);
    EXPECT_NE(finding.text.find(c.text), std::string::npos) << finding.text;
    EXPECT_EQ(finding.fix.substr(0, c.fix.size()), c.fix) << finding.fix;
  }
}

// Who else may write in the companion's folder, for --check's warning: a
// user's own group, as Debian gives each user, is no one else.
TEST(OtherWritersOfTest, NamesEveryoneAndGroupsWithOtherMembers) {
  TemporaryDirectory root;
  const std::string folder = root / "shop";
  posix_test::MakeDirectory(folder);
  const bool as_root = ::geteuid() == 0;
  const struct {
    mode_t mode;
    gid_t group;  // changed only as root
    std::string writers;
  } cases[] = {
      {0700, 0, ""},
      {0755, 0, ""},
      {0777, 0, "everyone (mode 0777)"},
      {01777, 0, "everyone (mode 1777)"},
      {0770, 0, ""},  // root's group holds no one else
      {0770, 1, "the group daemon"},
  };
  for (const auto& c : cases) {
    // Without root the folder's group is whatever this user's is.
    if (!as_root && (c.mode & S_IWGRP) != 0) continue;
    SCOPED_TRACE(std::to_string(c.mode) + ", group " + std::to_string(c.group));
    if (as_root) {
      ASSERT_EQ(::chown(folder.c_str(), 0, c.group), 0);
    }
    ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
    EXPECT_EQ(OtherWritersOf(folder), c.writers);
  }
}

}  // namespace
}  // namespace zindo

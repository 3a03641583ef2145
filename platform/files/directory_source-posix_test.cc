#include "platform/files/directory_source-posix.h"

#include <linux/magic.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::WriteNativeFile;

// The types as the kernel's own header names them, and the type of the
// file system the tests run on, which is local.
TEST(InotifySeesEveryChangeTest, NetworkAndUserSpaceFileSystemsAreBlind) {
  const long local[] = {EXT4_SUPER_MAGIC, TMPFS_MAGIC, BTRFS_SUPER_MAGIC,
                        XFS_SUPER_MAGIC, OVERLAYFS_SUPER_MAGIC};
  const long blind[] = {NFS_SUPER_MAGIC,  SMB_SUPER_MAGIC,  CIFS_SUPER_MAGIC,
                        SMB2_SUPER_MAGIC, FUSE_SUPER_MAGIC, V9FS_MAGIC,
                        CEPH_SUPER_MAGIC, AFS_SUPER_MAGIC,  CODA_SUPER_MAGIC,
                        OCFS2_SUPER_MAGIC};
  for (long type : local) EXPECT_TRUE(InotifySeesEveryChange(type)) << type;
  for (long type : blind) EXPECT_FALSE(InotifySeesEveryChange(type)) << type;
  posix_test::TemporaryDirectory here;
  struct statfs where {};
  ASSERT_EQ(::statfs(here.path().c_str(), &where), 0);
  EXPECT_TRUE(InotifySeesEveryChange(static_cast<long>(where.f_type)));
}

class InotifyMonitorTest : public ::testing::Test {
 protected:
  std::string Find(const std::string& name) {
    return monitor_.Find(work_.path(), name);
  }

  posix_test::TemporaryDirectory work_;
  std::vector<std::string> reports_;
  DirectoryMonitor monitor_{std::make_unique<InotifyDirectorySource>(
      false, [this](const std::string& line) { reports_.push_back(line); })};
};

TEST_F(InotifyMonitorTest, KernelReportsKeepTheNamesWithoutListing) {
  ASSERT_EQ(Find("ZINDOK1.TXT"), "");
  WriteNativeFile(work_ / "req.tmp", "x");
  ASSERT_EQ(
      ::rename((work_ / "req.tmp").c_str(), (work_ / "ZINDOK1.TXT").c_str()),
      0);
  EXPECT_EQ(Find("ZINDOK1.TXT"), "ZINDOK1.TXT");
  WriteNativeFile(work_ / "zindok1.txt", "x");
  ASSERT_EQ(::unlink((work_ / "ZINDOK1.TXT").c_str()), 0);
  EXPECT_EQ(Find("ZINDOK1.TXT"), "zindok1.txt");
  EXPECT_EQ(monitor_.listings(), 1);
  EXPECT_TRUE(reports_.empty());
}

// More changes than the kernel queues while the relay looks elsewhere: the
// overflow makes it list again, and the last change counts.
TEST_F(InotifyMonitorTest, QueueOverflowIsCaughtUpByListing) {
  int queued = 0;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  ASSERT_GT(queued, 0);
  ASSERT_EQ(Find("ZINDOK1.TXT"), "");
  const std::string other = work_ / "other.dat";
  for (int i = 0; i < queued / 2 + 1; ++i) {  // two events each
    WriteNativeFile(other, "");
    ASSERT_EQ(::unlink(other.c_str()), 0);
  }
  WriteNativeFile(work_ / "ZINDOK1.TXT", "x");

  monitor_.Refresh();
  EXPECT_TRUE(monitor_.TakeChange());
  EXPECT_EQ(Find("ZINDOK1.TXT"), "ZINDOK1.TXT");
  EXPECT_EQ(monitor_.listings(), 2);
}

TEST_F(InotifyMonitorTest, DirectoryMovedAwayAndReplacedIsFollowedByPath) {
  posix_test::MakeDirectory(work_ / "sub");
  WriteNativeFile(work_ / "sub/ZINDOK1.TXT", "x");
  ASSERT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "ZINDOK1.TXT");

  ASSERT_EQ(::rename((work_ / "sub").c_str(), (work_ / "old").c_str()), 0);
  posix_test::MakeDirectory(work_ / "sub");
  EXPECT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "");
  WriteNativeFile(work_ / "sub/ZINDOK1.TXT", "x");
  EXPECT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "ZINDOK1.TXT");
  ASSERT_EQ(::unlink((work_ / "old/ZINDOK1.TXT").c_str()), 0);
  EXPECT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "ZINDOK1.TXT");

  // Moved away with nothing in its place: that is a change, and a directory
  // made there later is watched anew.
  monitor_.Refresh();
  monitor_.TakeChange();
  ASSERT_EQ(::rename((work_ / "sub").c_str(), (work_ / "gone").c_str()), 0);
  monitor_.Refresh();
  EXPECT_TRUE(monitor_.TakeChange());
  EXPECT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "");
  posix_test::MakeDirectory(work_ / "sub");
  EXPECT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "");
  WriteNativeFile(work_ / "sub/zindok1.txt", "x");
  EXPECT_EQ(monitor_.Find(work_ / "sub", "ZINDOK1.TXT"), "zindok1.txt");
}

// Out of inotify instances (here: out of descriptors, which fails the same
// way), the source watches nothing and says so once; the monitor lists.
TEST(InotifyDirectorySourceTest, WithoutInstancesItFallsBackToListing) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers' own checks need descriptors";
#endif
  posix_test::TemporaryDirectory work;
  std::vector<std::string> reports;
  rlimit files;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
  // The lowest free descriptor is the next one opened: a limit there
  // refuses it.
  const int lowest_free = ::dup(0);
  ASSERT_GE(lowest_free, 0);
  ::close(lowest_free);
  rlimit none = files;
  none.rlim_cur = static_cast<rlim_t>(lowest_free);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  auto source = std::make_unique<InotifyDirectorySource>(
      false, [&](const std::string& line) { reports.push_back(line); });
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);

  EXPECT_EQ(source->descriptor(), -1);
  DirectoryMonitor monitor(std::move(source));
  EXPECT_EQ(monitor.Find(work.path(), "ZINDOK1.TXT"), "");
  EXPECT_LE(monitor.SecondsUntilNextListing(),
            DirectoryMonitor::kShortestPollSeconds);
  EXPECT_GT(monitor.SecondsUntilNextListing(), 0.0);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("max_user_instances"), std::string::npos);
}

}  // namespace
}  // namespace zindo

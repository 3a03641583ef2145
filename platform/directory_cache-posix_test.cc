#include "platform/directory_cache-posix.h"

#include <chrono>
#include <thread>

#include "gtest/gtest.h"
#include "platform/testing-posix.h"

namespace zindo {
namespace {

TEST(FoldCaseTest, LowersAsciiLettersOnly) {
  EXPECT_EQ(FoldCase("ZINDOK1.TXT"), "zindok1.txt");
  EXPECT_EQ(FoldCase("Az@[`{"), "az@[`{");
  EXPECT_EQ(FoldCase("\xC3\x84Z"), "\xC3\x84z");  // UTF-8 stays as it is.
}

TEST(DirectoryCacheTest, ListingReadSoonAfterAChangeIsReadAgain) {
  posix_test::TemporaryDirectory directory;
  // Every change counts as recent with a margin this wide.
  DirectoryCache cache(std::chrono::hours(1));
  posix_test::WriteNativeFile(directory / "A.TXT", "");

  EXPECT_EQ(cache.Find(directory.path(), "a.txt"), "A.TXT");
  EXPECT_EQ(cache.Find(directory.path(), "a.txt"), "A.TXT");
  EXPECT_EQ(cache.scans(), 2);
}

// Only names asked for are kept from a listing, so a name asked for the
// first time needs the directory read again even when it has not changed.
TEST(DirectoryCacheTest, NameAskedForTheFirstTimeIsLookedUp) {
  posix_test::TemporaryDirectory directory;
  DirectoryCache cache(std::chrono::nanoseconds(0));
  posix_test::WriteNativeFile(directory / "A.TXT", "");
  posix_test::WriteNativeFile(directory / "b.txt", "");
  posix_test::WriteNativeFile(directory / "B.TXT", "");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));

  EXPECT_EQ(cache.Find(directory.path(), "a.txt"), "A.TXT");
  EXPECT_EQ(cache.Find(directory.path(), "A.txt"), "A.TXT");
  EXPECT_EQ(cache.scans(), 1);
  EXPECT_EQ(cache.Find(directory.path(), "b.TXT"), "B.TXT");  // least
  EXPECT_EQ(cache.Find(directory.path(), "b.txt"), "b.txt");  // exact
  EXPECT_EQ(cache.Find(directory.path(), "c.txt"), "");
  EXPECT_EQ(cache.scans(), 3);
  EXPECT_EQ(cache.Find(directory.path(), "a.txt"), "A.TXT");
  EXPECT_EQ(cache.scans(), 3);
}

}  // namespace
}  // namespace zindo

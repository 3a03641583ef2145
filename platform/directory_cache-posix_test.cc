#include "platform/directory_cache-posix.h"

#include <chrono>

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

}  // namespace
}  // namespace zindo

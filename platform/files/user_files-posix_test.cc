#include "platform/files/user_files-posix.h"

#include <string>

#include "base/error.h"
#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

// A settings file of the user's: missing is no error, unreadable is.
TEST(PosixUserFilesTest, ReadsTheUsersFileFromThePrefix) {
  posix_test::TemporaryDirectory root;
  posix_test::MakeDirectory(root / "prefix");
  PosixFileSystem files(root / "prefix", root.path());
  PosixUserFiles user_files(files);
  const UserFiles::UserFile missing = user_files.Read("dosbox-path.txt");
  EXPECT_EQ(missing.path, root / "prefix/dosbox-path.txt");
  EXPECT_FALSE(missing.contents.has_value());
  posix_test::WriteNativeFile(root / "prefix/dosbox-path.txt", "/opt/dosbox\n");
  EXPECT_EQ(user_files.Read("dosbox-path.txt").contents, "/opt/dosbox\n");
  posix_test::MakeDirectory(root / "prefix/folder.txt");
  EXPECT_THROW(user_files.Read("folder.txt"), Error);
}

}  // namespace
}  // namespace zindo

#include "platform/files/file_system-posix.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/files/file_system_contract_test.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::ListDirectory;
using posix_test::MakeDirectory;
using posix_test::MakeSymlink;
using posix_test::ReadNativeFile;
using posix_test::WriteNativeFile;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::ThrowsMessage;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeDirectory(work_); }

  void MakeDosdevices() {
    MakeDirectory(prefix_);
    MakeDirectory(prefix_ + "/dosdevices");
  }

  posix_test::TemporaryDirectory root_;
  std::string prefix_ = root_ / "prefix";
  std::string work_ = root_ / "work";
  PosixFileSystem files_{prefix_, work_};
};

class PosixUnderTest : public FileSystemUnderTest {
 public:
  PosixUnderTest() { MakeDirectory(work_); }
  FileSystem& files() override { return files_; }
  void WriteNative(const std::string& name, const std::string& bytes) override {
    WriteNativeFile(work_ + "/" + name, bytes);
  }
  // Another user's link is one of nobody's, which only root can make.
  std::string MakeLink(const std::string& name, const std::string& target,
                       LinkOwner owner) override {
    const bool another = owner == LinkOwner::kAnotherUser;
    if (another && ::geteuid() != 0) {
      return "giving a link to another user needs root";
    }
    MakeSymlink(target, work_ + "/" + name);
    if (another && ::lchown((work_ + "/" + name).c_str(), 65534, 65534) != 0) {
      return "cannot give the link to nobody";
    }
    return "";
  }

 private:
  posix_test::TemporaryDirectory root_;
  std::string work_ = root_ / "work";
  PosixFileSystem files_{root_ / "prefix", work_};
};

INSTANTIATE_TEST_SUITE_P(
    Posix, FileSystemContract,
    ::testing::Values(FileSystemFactory{
        .name = "Posix",
        .make = [] { return std::make_unique<PosixUnderTest>(); }}),
    FileSystemName);

// --- Drives ---

// Drive C is drive_c until dosdevices links it elsewhere; other drives are
// the linked ones that lead somewhere.
TEST_F(PosixFileSystemTest, DriveCFollowsItsDosdevicesLinkAsOtherDrivesDo) {
  MakeDosdevices();
  MakeDirectory(prefix_ + "/drive_c");
  MakeSymlink(work_, prefix_ + "/dosdevices/d:");
  MakeSymlink(root_ / "missing", prefix_ + "/dosdevices/e:");
  MakeSymlink(work_, prefix_ + "/dosdevices/f::");
  MakeSymlink("/dev/null", prefix_ + "/dosdevices/com1");
  EXPECT_THAT(
      files_.MappedDrives(),
      ElementsAre(
          std::pair<const char, std::string>('C', prefix_ + "/drive_c"),
          std::pair<const char, std::string>('D', prefix_ + "/dosdevices/d:")));

  MakeDirectory(root_ / "c_root");
  MakeDirectory(root_ / "c_root/ZINDO");
  MakeSymlink("../../c_root", prefix_ + "/dosdevices/c:");  // As Wine does.
  files_.WriteFile("C:\\zindo\\LOCAL6.DAT", "data");

  EXPECT_EQ(ReadNativeFile(root_ / "c_root/ZINDO/LOCAL6.DAT"), "data");
  EXPECT_THAT(ListDirectory(prefix_ + "/drive_c"), IsEmpty());
  EXPECT_EQ(files_.MappedDrives().at('C'), prefix_ + "/dosdevices/c:");
}

TEST_F(PosixFileSystemTest, OtherDrivesAndDanglingLinksFailWithoutFallback) {
  EXPECT_THAT([&] { files_.WriteFile("d:\\x.txt", "x"); },
              ThrowsMessage<Error>(HasSubstr("No such file or directory")));
  MakeDosdevices();
  MakeSymlink(root_ / "gone", prefix_ + "/dosdevices/c:");
  MakeDirectory(root_ / "d_root");
  MakeSymlink(root_ / "d_root", prefix_ + "/dosdevices/d:");

  EXPECT_THROW(files_.WriteFile("c:\\x.txt", "x"), Error);
  files_.WriteFile("D:\\x.txt", "x");

  EXPECT_THAT(ListDirectory(prefix_), ElementsAre("dosdevices"));
  EXPECT_EQ(ReadNativeFile(root_ / "d_root/x.txt"), "x");
  EXPECT_THROW(files_.WriteFile("\\x.txt", "x"), Error);  // Needs a drive.
}

// --- Writing, reading, deleting ---

int InodeOf(const std::string& native) {
  struct stat status;
  return ::stat(native.c_str(), &status) == 0 ? static_cast<int>(status.st_ino)
                                              : -1;
}

// A rewrite replaces the file whole (a reader sees the old bytes or the new
// ones, never a part): the stored name and permissions stay, and nothing is
// left beside it.
TEST_F(PosixFileSystemTest, RewriteReplacesTheFileWholeKeepingPermissions) {
  WriteNativeFile(work_ + "/ZINDOK1.TXT", "old and longer content");
  ASSERT_EQ(::chmod((work_ + "/ZINDOK1.TXT").c_str(), 0640), 0);
  const int old_inode = InodeOf(work_ + "/ZINDOK1.TXT");

  files_.WriteFile("zindok1.txt", "new");

  EXPECT_THAT(ListDirectory(work_), ElementsAre("ZINDOK1.TXT"));
  EXPECT_EQ(ReadNativeFile(work_ + "/ZINDOK1.TXT"), "new");
  EXPECT_NE(InodeOf(work_ + "/ZINDOK1.TXT"), old_inode);
  struct stat status;
  ASSERT_EQ(::stat((work_ + "/ZINDOK1.TXT").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// Beside the name asked for (which the contract checks), the native one.
TEST_F(PosixFileSystemTest, FailuresNameTheNativePathAndTheReason) {
  EXPECT_THAT([&] { files_.WriteFile("nodir\\x.txt", "x"); },
              ThrowsMessage<Error>(AllOf(HasSubstr("nodir\\x.txt"),
                                         HasSubstr(work_ + "/nodir/x.txt"),
                                         HasSubstr("No such file"))));
}

// Pipes, sockets and devices are named, never opened: a pipe would block
// the open until another program opened its other end.
TEST_F(PosixFileSystemTest, EntriesThatAreNoRegularFileAreRefusedByName) {
  ASSERT_EQ(::mkfifo((work_ + "/PIPE.TXT").c_str(), 0600), 0);
  MakeSymlink("/dev/null", work_ + "/DEVICE.TXT");
  MakeSymlink(work_ + "/gone", work_ + "/DANGLING.TXT");
  WriteNativeFile(work_ + "/target", "bytes");
  MakeSymlink(work_ + "/target", work_ + "/LINKED.TXT");
  struct Case {
    std::string name;
    std::string kind;
  };
  for (const Case& entry :
       {Case{"pipe.txt", "a named pipe"},
        Case{"device.txt", "a character device"},
        Case{"dangling.txt", "a symbolic link to nothing"}}) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(files_.NonFileKind(entry.name), entry.kind);
    const auto refused = ThrowsMessage<Error>(
        HasSubstr("it is " + entry.kind + ", not a regular file"));
    EXPECT_THAT([&] { files_.OpenForReading(entry.name); }, refused);
    EXPECT_THAT([&] { files_.WriteFile(entry.name, "x"); }, refused);
  }
  EXPECT_NE(::access((work_ + "/gone").c_str(), F_OK), 0);  // not created
  EXPECT_EQ(files_.NonFileKind("linked.txt"), "");
  EXPECT_EQ(files_.NonFileKind("absent.txt"), "");
  EXPECT_EQ(files_.OpenForReading("linked.txt")->Read(10), "bytes");
}

// In a folder that anyone may write to but that keeps each user's entries
// their own (the sticky bit), a link that one user planted cannot be
// replaced by another: writing through it is refused, naming it, and the
// file it names stays as it was even when this user may write that file.
TEST_F(PosixFileSystemTest, AnotherUsersLinkInAStickyFolderIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a link to others needs root";
  const std::string shared = root_ / "shared";
  const std::string precious = root_ / "precious";
  ASSERT_EQ(::chmod(root_.path().c_str(), 0755), 0);
  MakeDirectory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  WriteNativeFile(precious, "precious data", 0666);
  MakeSymlink(precious, shared + "/zindoK2.txt");
  ASSERT_EQ(::lchown((shared + "/zindoK2.txt").c_str(), 65533, 65533), 0);

  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0) {
      ::_exit(10);
    }
    PosixFileSystem files(prefix_, shared);
    try {
      files.WriteFile("ZINDOK2.TXT", "/0,17,0,129\r\n");
      ::_exit(11);
    } catch (const Error& refused) {
      const std::string cause = refused.what();
      ::_exit(cause.find("owned by another user (uid 65533)") !=
                          std::string::npos &&
                      cause.find("cannot be replaced") != std::string::npos
                  ? 0
                  : 12);
    }
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "10: no unprivileged user; 11: written; 12: cause not named";
  EXPECT_EQ(ReadNativeFile(precious), "precious data");
  EXPECT_THAT(ListDirectory(shared), ElementsAre("zindoK2.txt"));
}

// In a child with a mount namespace of its own: the working directory is a
// tiny file system, filled up. Returns what WriteFile then did, as an exit
// status: 0 when it failed naming the file and the reason and left no line.
int WriteToAFullFileSystem(PosixFileSystem& files, const std::string& work) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", work.c_str(), "tmpfs", 0, "size=16k") != 0) {
    return 10;
  }
  const int filler =
      ::open((work + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
  const std::string block(4096, 'x');
  while (::write(filler, block.data(), block.size()) > 0) {
  }
  try {
    files.WriteFile("zindoK2.txt", "/0,17,0,129\r\n");
    return 11;
  } catch (const Error& error) {
    const std::string message = error.what();
    if (message.find("zindoK2.txt") == std::string::npos) return 12;
    if (message.find("No space left on device") == std::string::npos) return 13;
  }
  struct stat status;
  if (::stat((work + "/zindoK2.txt").c_str(), &status) == 0 &&
      status.st_size != 0) {
    return 14;
  }
  return 0;
}

TEST_F(PosixFileSystemTest, FullFileSystemFailsNamingTheFileWithNoPartLeft) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  const pid_t child = ::fork();
  if (child == 0) ::_exit(WriteToAFullFileSystem(files_, work_));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no small file system; 11: "
                                       "written; 12, 13: file or reason not "
                                       "named; 14: a part was left";
}

}  // namespace
}  // namespace zindo

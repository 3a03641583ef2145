#include "platform/files/file_system-win32.h"

#include <aclapi.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/files/file_system_contract_test.h"
#include "platform/testing/testing-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using win32_test::ListDirectory;
using win32_test::ReadNativeFile;
using win32_test::WriteNativeFile;

class Win32UnderTest : public FileSystemUnderTest {
 public:
  FileSystem& files() override { return files_; }
  void WriteNative(const std::string& name, const std::string& bytes) override {
    WriteNativeFile(directory_ / name, bytes);
  }
  // Another user's link is given to LocalService, which needs the privilege
  // to restore files.
  std::string MakeLink(const std::string& name, const std::string& target,
                       LinkOwner owner) override {
    const std::wstring link = ToUtf16(directory_ / name);
    const DWORD unprivileged =
        0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    ::CreateSymbolicLinkW(link.c_str(), ToUtf16(target).c_str(), unprivileged);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      return "this system made no symbolic link here";
    }
    if (owner == LinkOwner::kThisUser) return "";
    UniqueHandle entry(::CreateFileW(
        link.c_str(), WRITE_OWNER, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    unsigned char sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!entry.valid() ||
        !::CreateWellKnownSid(WinLocalServiceSid, nullptr, sid, &size) ||
        ::SetSecurityInfo(entry.get(), SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION, sid, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
      return "giving a link to another user needs the restore privilege";
    }
    return "";
  }

 private:
  win32_test::TemporaryDirectory directory_;
  Win32FileSystem files_{directory_.path()};
};

// The system ignores case: a second name for a file opens the first. The
// refusal to open a directory as a file is the system's "access denied".
INSTANTIATE_TEST_SUITE_P(
    Win32, FileSystemContract,
    ::testing::Values(FileSystemFactory{
        .name = "Win32",
        .holds_case_variants = false,
        .names_what_is_in_the_way = false,
        .make = [] { return std::make_unique<Win32UnderTest>(); }}),
    FileSystemName);

// The working directory is a temporary directory, not the test's own.
class Win32FileSystemTest : public ::testing::Test {
 protected:
  win32_test::TemporaryDirectory directory_;
  Win32FileSystem files_{directory_.path()};
};

// The index that tells one file from another on its volume.
std::uint64_t FileIndex(const std::string& path) {
  HANDLE file = ::CreateFileW(ToUtf16(path).c_str(), 0, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION information{};
  ::GetFileInformationByHandle(file, &information);
  ::CloseHandle(file);
  return (std::uint64_t{information.nFileIndexHigh} << 32) |
         information.nFileIndexLow;
}

// A reader sees the old file or the new one, whole: a new file, written
// beside it, replaces the old one under its stored name.
TEST_F(Win32FileSystemTest, RewritingReplacesTheFileWholeUnderItsStoredName) {
  WriteNativeFile(directory_ / "Reply.Txt", "a much longer old content");
  const std::uint64_t old_file = FileIndex(directory_ / "Reply.Txt");
  files_.WriteFile("REPLY.TXT", "new");
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre("Reply.Txt"));
  EXPECT_EQ(ReadNativeFile(directory_ / "Reply.Txt"), "new");
  EXPECT_NE(FileIndex(directory_ / "Reply.Txt"), old_file);
  files_.WriteFile("REPLY.TXT", "");
  EXPECT_EQ(ReadNativeFile(directory_ / "Reply.Txt"), "");
}

TEST_F(Win32FileSystemTest, ReadingAFileDoesNotLockOutItsWriter) {
  files_.WriteFile("shared.txt", "old");
  auto file = files_.OpenForReading("shared.txt");
  EXPECT_NO_THROW(files_.DeleteFile("shared.txt"));
}

// The C library's fopen (and so DOSBox) lets others read and write a file
// it has open, but not delete or replace it.
TEST_F(Win32FileSystemTest, AFileHeldOpenByAReaderIsRewrittenInPlace) {
  files_.WriteFile("REPLY.TXT", "old");
  UniqueHandle reader(::CreateFileW(
      ToUtf16(directory_ / "REPLY.TXT").c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader.valid());
  files_.WriteFile("reply.txt", "new content");
  EXPECT_EQ(ReadNativeFile(directory_ / "REPLY.TXT"), "new content");
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre("REPLY.TXT"));
}

TEST_F(Win32FileSystemTest, FailuresNameThePathAndTheSystemText) {
  try {
    files_.OpenForReading("NOFILE.TXT");
    FAIL() << "opened a missing file";
  } catch (const Error& error) {
    EXPECT_THAT(error.what(), HasSubstr("open NOFILE.TXT ("));
    EXPECT_THAT(error.what(), HasSubstr(directory_ / "NOFILE.TXT"));
    EXPECT_THAT(error.what(), HasSubstr("(error 2)"));
  }
}

TEST_F(Win32FileSystemTest, AbsolutePathsIgnoreTheWorkingDirectory) {
  WriteNativeFile(directory_ / "ZindoK1.Txt", "x");
  EXPECT_EQ(files_.StoredName(directory_ / "ZINDOK1.TXT"), "ZindoK1.Txt");
  win32_test::TemporaryDirectory other;
  files_.WriteFile(other / "Elsewhere.txt", "x");
  EXPECT_EQ(ReadNativeFile(other / "Elsewhere.txt"), "x");
  EXPECT_EQ(files_.StoredName("Elsewhere.txt"), "");
  EXPECT_EQ(files_.AbsolutePath("a\\b"), directory_ / "a\\b");
  EXPECT_EQ(files_.AbsolutePath("c:\\zindo\\x"), "c:\\zindo\\x");
}

}  // namespace
}  // namespace zindo

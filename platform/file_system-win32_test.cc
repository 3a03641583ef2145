#include "platform/file_system-win32.h"

#include <cstdint>
#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/error.h"
#include "platform/testing-win32.h"
#include "platform/unicode-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using win32_test::ListDirectory;
using win32_test::ReadNativeFile;
using win32_test::WriteNativeFile;

std::string ReadWhole(FileSystem& files, const std::string& path,
                      std::size_t chunk) {
  auto file = files.OpenForReading(path);
  std::string bytes;
  for (std::string part = file->Read(chunk); !part.empty();
       part = file->Read(chunk)) {
    bytes += part;
  }
  return bytes;
}

// The working directory is a temporary directory, not the test's own.
class Win32FileSystemTest : public ::testing::Test {
 protected:
  win32_test::TemporaryDirectory directory_;
  Win32FileSystem files_{directory_.path()};
};

TEST_F(Win32FileSystemTest, StoredNameIsTheNameAsCreatedWhateverTheCase) {
  WriteNativeFile(directory_ / "ZindoK1.Txt", "x");
  files_.CreateDirectory("Zindo");
  WriteNativeFile(directory_ / "Zindo\\Reply.Txt", "x");
  const struct {
    std::string asked;
    const char* stored;
  } cases[] = {
      {"ZindoK1.Txt", "ZindoK1.Txt"},
      {"zindok1.txt", "ZindoK1.Txt"},
      {"ZINDOK1.TXT", "ZindoK1.Txt"},
      {directory_ / "ZINDOK1.TXT", "ZindoK1.Txt"},
      {"ZINDO", "Zindo"},
      {"zindo\\", "Zindo"},
      {"zindo\\reply.txt", "Reply.Txt"},
      {"zindo/REPLY.TXT", "Reply.Txt"},
      {"LOCAL7.DAT", ""},
      {"missing\\ZindoK1.Txt", ""},
      {"", ""},
      // Patterns are names here, not wildcards.
      {"ZINDOK?.TXT", ""},
      {"*", ""},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(files_.StoredName(test.asked), test.stored) << test.asked;
  }
}

// A Hebrew name, as the companion's files may have, and every byte value.
TEST_F(Win32FileSystemTest, WritesReadsAndDeletesAllByteValues) {
  const std::string name = "Status-\xD7\xA7\xD7\x95.Dat";
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += char(value);
  bytes += "\r\n\x1A tail";
  files_.WriteFile(name, bytes);
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre(name));
  EXPECT_EQ(ReadNativeFile(directory_ / name), bytes);
  EXPECT_EQ(files_.StoredName("STATUS-\xD7\xA7\xD7\x95.DAT"), name);
  EXPECT_EQ(ReadWhole(files_, "status-\xD7\xA7\xD7\x95.dat", 7), bytes);
  files_.DeleteFile("STATUS-\xD7\xA7\xD7\x95.DAT");
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre());
}

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

TEST_F(Win32FileSystemTest, ReadReturnsFewerOnlyAtTheEnd) {
  files_.WriteFile("r.bin", "0123456789");
  auto file = files_.OpenForReading("r.bin");
  for (const char* part : {"0123", "4567", "89", "", ""}) {
    EXPECT_EQ(file->Read(4), part);
  }
}

TEST_F(Win32FileSystemTest, ReadingAFileDoesNotLockOutItsWriter) {
  files_.WriteFile("shared.txt", "old");
  auto file = files_.OpenForReading("shared.txt");
  EXPECT_NO_THROW(files_.DeleteFile("shared.txt"));
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
  EXPECT_THROW(files_.DeleteFile("NOFILE.TXT"), Error);
  EXPECT_THROW(files_.WriteFile("nodir\\file.txt", "x"), Error);
  EXPECT_THROW(files_.CreateDirectory("nodir\\sub"), Error);
  files_.CreateDirectory("dir");
  EXPECT_THROW(files_.CreateDirectory("DIR"), Error);
  EXPECT_THROW(files_.OpenForReading("dir"), Error);
}

TEST_F(Win32FileSystemTest, AbsolutePathsIgnoreTheWorkingDirectory) {
  win32_test::TemporaryDirectory other;
  files_.WriteFile(other / "Elsewhere.txt", "x");
  EXPECT_EQ(ReadNativeFile(other / "Elsewhere.txt"), "x");
  EXPECT_EQ(files_.StoredName("Elsewhere.txt"), "");
  EXPECT_EQ(files_.AbsolutePath("a\\b"), directory_ / "a\\b");
  EXPECT_EQ(files_.AbsolutePath("c:\\zindo\\x"), "c:\\zindo\\x");
}

}  // namespace
}  // namespace zindo

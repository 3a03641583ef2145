#include "platform/file_system-win32.h"

#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/error.h"
#include "platform/testing-win32.h"

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
  EXPECT_EQ(files_.StoredName("ZindoK1.Txt"), "ZindoK1.Txt");
  EXPECT_EQ(files_.StoredName("zindok1.txt"), "ZindoK1.Txt");
  EXPECT_EQ(files_.StoredName("ZINDOK1.TXT"), "ZindoK1.Txt");
  EXPECT_EQ(files_.StoredName(directory_ / "ZINDOK1.TXT"), "ZindoK1.Txt");
}

TEST_F(Win32FileSystemTest, StoredNameIsEmptyWhenNothingMatches) {
  WriteNativeFile(directory_ / "LOCAL6.DAT", "x");
  EXPECT_EQ(files_.StoredName("LOCAL7.DAT"), "");
  EXPECT_EQ(files_.StoredName("missing\\LOCAL6.DAT"), "");
  EXPECT_EQ(files_.StoredName(""), "");
  // Patterns are names here, not wildcards.
  EXPECT_EQ(files_.StoredName("LOCAL?.DAT"), "");
  EXPECT_EQ(files_.StoredName("*"), "");
}

TEST_F(Win32FileSystemTest, FindsDirectoriesAndPathsThroughThem) {
  files_.CreateDirectory("Zindo");
  WriteNativeFile(directory_ / "Zindo\\Reply.Txt", "x");
  EXPECT_EQ(files_.StoredName("ZINDO"), "Zindo");
  EXPECT_EQ(files_.StoredName("zindo\\"), "Zindo");
  EXPECT_EQ(files_.StoredName("zindo\\reply.txt"), "Reply.Txt");
  EXPECT_EQ(files_.StoredName("zindo/REPLY.TXT"), "Reply.Txt");
}

TEST_F(Win32FileSystemTest, HebrewNamesRoundTrip) {
  const std::string name = "\xD7\xA7\xD7\x95\xD7\x91\xD7\xA5.txt";
  files_.WriteFile(name, "bytes");
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre(name));
  EXPECT_EQ(files_.StoredName(name), name);
  EXPECT_EQ(ReadWhole(files_, name, 64), "bytes");
}

TEST_F(Win32FileSystemTest, WritesReadsAndDeletesAllByteValues) {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += char(value);
  bytes += "\r\n\x1A tail";
  files_.WriteFile("Status.Dat", bytes);
  EXPECT_EQ(ReadNativeFile(directory_ / "Status.Dat"), bytes);
  EXPECT_EQ(ReadWhole(files_, "STATUS.DAT", 7), bytes);
  files_.DeleteFile("status.dat");
  EXPECT_EQ(files_.StoredName("Status.Dat"), "");
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre());
}

TEST_F(Win32FileSystemTest, RewritingEmptiesTheFileAndKeepsItsStoredName) {
  WriteNativeFile(directory_ / "Reply.Txt", "a much longer old content");
  files_.WriteFile("REPLY.TXT", "new");
  EXPECT_THAT(ListDirectory(directory_.path()), ElementsAre("Reply.Txt"));
  EXPECT_EQ(ReadNativeFile(directory_ / "Reply.Txt"), "new");
  files_.WriteFile("REPLY.TXT", "");
  EXPECT_EQ(ReadNativeFile(directory_ / "Reply.Txt"), "");
}

TEST_F(Win32FileSystemTest, ReadReturnsFewerOnlyAtTheEnd) {
  files_.WriteFile("r.bin", "0123456789");
  auto file = files_.OpenForReading("r.bin");
  EXPECT_EQ(file->Read(4), "0123");
  EXPECT_EQ(file->Read(4), "4567");
  EXPECT_EQ(file->Read(4), "89");
  EXPECT_EQ(file->Read(4), "");
  EXPECT_EQ(file->Read(4), "");
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

#include "platform/files/file_system_contract_test.h"

#include <functional>
#include <memory>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

std::string ReadWhole(FileSystem& files, const std::string& path,
                      std::size_t chunk = 4096) {
  auto file = files.OpenForReading(path);
  std::string bytes;
  for (std::string part = file->Read(chunk); !part.empty();
       part = file->Read(chunk)) {
    bytes += part;
  }
  return bytes;
}

TEST_P(FileSystemContract, StoredNameIsTheNameAsStoredWhateverTheCase) {
  system_->WriteNative("ZindoK1.Txt", "x");
  files().CreateDirectory("Zindo");
  files().CreateDirectory("zindo\\SUB");
  files().WriteFile("ZINDO\\sub\\Reply.Txt", "x");
  const struct {
    std::string asked;
    const char* stored;
  } cases[] = {
      {"ZindoK1.Txt", "ZindoK1.Txt"},
      {"zindok1.txt", "ZindoK1.Txt"},
      {"ZINDOK1.TXT", "ZindoK1.Txt"},
      {"ZINDO", "Zindo"},
      {"zindo\\", "Zindo"},
      {"zindo\\sub", "SUB"},
      {"zindo\\sub\\REPLY.TXT", "Reply.Txt"},
      {"ZINDO/Sub/reply.txt", "Reply.Txt"},
      {"LOCAL7.DAT", ""},
      {"zindo\\absent.txt", ""},
      {"missing\\ZindoK1.Txt", ""},
      {"zindok1.txt\\ZindoK1.Txt", ""},  // a file is no directory
      {"", ""},
      // Patterns are names here, not wildcards.
      {"ZINDOK?.TXT", ""},
      {"*", ""},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(files().StoredName(test.asked), test.stored) << test.asked;
  }
  EXPECT_EQ(files().NonFileKind("zindok1.txt"), "");
  EXPECT_EQ(files().NonFileKind("zindo"), "a directory");
  EXPECT_EQ(files().NonFileKind("absent.txt"), "");
}

// A directory may hold "zindok1.txt" beside "ZINDOK1.TXT" where the system
// minds case; the request's presence depends on which a look-up finds.
TEST_P(FileSystemContract, AmongCaseVariantsTheExactNameWins) {
  system_->WriteNative("ZINDOK1.TXT", "upper");
  system_->WriteNative("zindok1.txt", "lower");
  if (!traits().holds_case_variants) {
    // The second name opened the entry stored under the first.
    EXPECT_EQ(files().StoredName("zindok1.txt"), "ZINDOK1.TXT");
    EXPECT_EQ(ReadWhole(files(), "zindok1.txt"), "lower");
    return;
  }
  EXPECT_EQ(files().StoredName("zindok1.txt"), "zindok1.txt");
  EXPECT_EQ(files().StoredName("ZINDOK1.TXT"), "ZINDOK1.TXT");
  const std::string chosen = files().StoredName("ZindoK1.txt");
  EXPECT_TRUE(chosen == "zindok1.txt" || chosen == "ZINDOK1.TXT") << chosen;
  EXPECT_EQ(files().StoredName("ZindoK1.txt"), chosen);

  files().WriteFile("zindok1.txt", "rewritten");
  EXPECT_EQ(ReadWhole(files(), "ZINDOK1.TXT"), "upper");
  EXPECT_EQ(ReadWhole(files(), "zindok1.txt"), "rewritten");
  files().DeleteFile("zindok1.txt");
  EXPECT_EQ(files().StoredName("zindok1.txt"), "ZINDOK1.TXT");
}

TEST_P(FileSystemContract, NewFileKeepsItsCaseARewriteKeepsTheStoredName) {
  system_->WriteNative("Reply.Txt", "a much longer old content");
  files().WriteFile("NewFile.Txt", "created");
  files().WriteFile("REPLY.TXT", "new");
  EXPECT_EQ(files().StoredName("newfile.txt"), "NewFile.Txt");
  EXPECT_EQ(files().StoredName("reply.txt"), "Reply.Txt");
  EXPECT_EQ(ReadWhole(files(), "Reply.Txt"), "new");
  files().WriteFile("reply.txt", "");
  EXPECT_EQ(ReadWhole(files(), "REPLY.TXT"), "");
}

// A Hebrew name, as the companion's files may have, and every byte value,
// read in pieces: fewer bytes only at the end, then nothing.
TEST_P(FileSystemContract, WritesReadsAndDeletesEveryByteValue) {
  const std::string name = "Status-\xD7\xA7\xD7\x95.Dat";
  std::string bytes;
  for (int value = 0; value < 40 * 256; ++value) bytes += char(value % 256);
  bytes += "\r\n\x1A tail";
  files().WriteFile(name, bytes);
  EXPECT_EQ(files().StoredName("STATUS-\xD7\xA7\xD7\x95.DAT"), name);

  {  // Closed before the delete: Windows keeps a deleted file that is open.
    auto file = files().OpenForReading("status-\xD7\xA7\xD7\x95.dat");
    const std::string first = file->Read(4096);
    const std::string rest = file->Read(100000);
    EXPECT_EQ(first.size(), 4096u);
    EXPECT_EQ(first + rest, bytes);
    EXPECT_EQ(file->Read(4096), "");
    EXPECT_EQ(file->Read(4096), "");
  }
  EXPECT_EQ(ReadWhole(files(), name, 7), bytes);

  files().DeleteFile("STATUS-\xD7\xA7\xD7\x95.DAT");
  EXPECT_EQ(files().StoredName(name), "");
}

TEST_P(FileSystemContract, FailuresNameThePathAndTheKind) {
  files().CreateDirectory("dir");
  const struct {
    std::string path;
    std::function<void(FileSystem&, const std::string&)> action;
    ErrorKind kind;
  } cases[] = {
      {"NOFILE.TXT", [](FileSystem& f, auto& p) { f.OpenForReading(p); },
       ErrorKind::kNotFound},
      {"nodir\\x.txt", [](FileSystem& f, auto& p) { f.OpenForReading(p); },
       ErrorKind::kNotFound},
      {"NOFILE.TXT", [](FileSystem& f, auto& p) { f.DeleteFile(p); },
       ErrorKind::kNotFound},
      {"nodir\\x.txt", [](FileSystem& f, auto& p) { f.WriteFile(p, "x"); },
       ErrorKind::kNotFound},
      {"nodir\\sub", [](FileSystem& f, auto& p) { f.CreateDirectory(p); },
       ErrorKind::kNotFound},
      {"DIR", [](FileSystem& f, auto& p) { f.CreateDirectory(p); },
       ErrorKind::kExists},
  };
  for (const auto& test : cases) {
    try {
      test.action(files(), test.path);
      ADD_FAILURE() << test.path << ": no failure";
    } catch (const Error& error) {
      EXPECT_THAT(error.what(), HasSubstr(test.path));
      EXPECT_EQ(error.kind(), test.kind) << error.what();
    }
  }
}

// Nothing is written over, read from or deleted in place of a directory.
TEST_P(FileSystemContract, ADirectoryIsNoFileToReadWriteOrDelete) {
  files().CreateDirectory("FOLDER.TXT");
  const std::string named = traits().names_what_is_in_the_way
                                ? "it is a directory, not a regular file"
                                : "folder.txt";
  EXPECT_THAT([&] { files().WriteFile("folder.txt", "x"); },
              ::testing::ThrowsMessage<Error>(HasSubstr(named)));
  EXPECT_THAT([&] { files().OpenForReading("folder.txt"); },
              ::testing::ThrowsMessage<Error>(HasSubstr(named)));
  EXPECT_THROW(files().DeleteFile("folder.txt"), Error);
  EXPECT_EQ(files().StoredName("folder.txt"), "FOLDER.TXT");
  EXPECT_EQ(files().NonFileKind("folder.txt"), "a directory");
}

// A link under a file's name is followed only when it is the user's own:
// one that another user planted in a shared folder must never make a
// response overwrite, or a request be read from, the file it names. A write
// replaces such a link with the file, or is refused naming it.
TEST_P(FileSystemContract, OnlyTheUsersOwnLinksAreFollowed) {
  using Owner = FileSystemUnderTest::LinkOwner;
  const struct {
    Owner owner;
    bool followed;
  } cases[] = {{Owner::kThisUser, true}, {Owner::kAnotherUser, false}};
  const std::string response = "/0,17,0,129\r\n";
  for (const auto& test : cases) {
    SCOPED_TRACE(test.followed ? "own link" : "another user's link");
    system_->WriteNative("precious.dat", "precious data");
    const std::string why =
        system_->MakeLink("zindoK2.txt", "precious.dat", test.owner);
    if (!why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(files().StoredName("ZINDOK2.TXT"), "zindoK2.txt");
    EXPECT_EQ(files().NonFileKind("ZINDOK2.TXT").empty(), test.followed);
    if (test.followed) {
      EXPECT_EQ(ReadWhole(files(), "ZINDOK2.TXT"), "precious data");
    } else {
      EXPECT_THAT([&] { files().OpenForReading("ZINDOK2.TXT"); },
                  ::testing::ThrowsMessage<Error>(HasSubstr(kUnfollowedLink)));
    }
    try {
      files().WriteFile("ZINDOK2.TXT", response);
      EXPECT_EQ(ReadWhole(files(), "zindok2.txt"), response);
    } catch (const Error& refused) {
      EXPECT_FALSE(test.followed) << refused.what();
      EXPECT_THAT(refused.what(), HasSubstr(kUnfollowedLink));
    }
    EXPECT_EQ(ReadWhole(files(), "precious.dat"),
              test.followed ? response : "precious data");
    files().DeleteFile("zindok2.txt");
  }
}

class FakeUnderTest : public FileSystemUnderTest {
 public:
  FileSystem& files() override { return files_; }
  void WriteNative(const std::string& name, const std::string& bytes) override {
    files_.Put(name, bytes);
  }
  std::string MakeLink(const std::string& name, const std::string& target,
                       LinkOwner owner) override {
    files_.PutLink(name, target, owner == LinkOwner::kAnotherUser);
    return "";
  }

 private:
  FakeJournal journal_;
  FakeFileSystem files_{journal_};
};

INSTANTIATE_TEST_SUITE_P(
    Fake, FileSystemContract,
    ::testing::Values(FileSystemFactory{
        .name = "Fake",
        .make = [] { return std::make_unique<FakeUnderTest>(); }}),
    FileSystemName);

}  // namespace
}  // namespace zindo

#include "exchange/request_file.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "exchange/file_names.h"
#include "exchange/status_file.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

class RequestFileTest : public ::testing::Test {
 protected:
  FakeJournal journal_;
  FakeFileSystem files_{journal_};
};

TEST_F(RequestFileTest, QuitRequestIsWrittenAsOneLineUnderUpperCaseName) {
  WriteQuitRequest(files_);
  EXPECT_EQ(files_.StoredName("zindok1.txt"), "ZINDOK1.TXT");
  EXPECT_EQ(files_.Contents("ZINDOK1.TXT"), std::string("\1\0\0\r\n", 5));
  EXPECT_TRUE(RequestPresent(files_));
  EXPECT_EQ(ReadRequest(files_), QuitRequest());
}

TEST_F(RequestFileTest, OnlyTheUpperCaseStoredNameCountsAsPresent) {
  EXPECT_FALSE(RequestPresent(files_));
  for (const char* name : {"zindok1.txt", "zindoK1.txt", "ZINDOK1.txt"}) {
    FakeJournal journal;
    FakeFileSystem files(journal);
    files.Put(name, std::string("\1\5\6", 3));
    EXPECT_FALSE(RequestPresent(files)) << name;
  }
}

TEST_F(RequestFileTest, ShortRequestIsTheFirstThreeBytes) {
  files_.Put("ZINDOK1.TXT", std::string("\1\5\6\7\r\n", 6));
  EXPECT_EQ(ReadRequest(files_), std::string("\1\5\6", 3));
  files_.Put("ZINDOK1.TXT", std::string("\1\5", 2));
  EXPECT_THROW(ReadRequest(files_), Error);
  DeleteRequest(files_);
  EXPECT_THROW(ReadRequest(files_), Error);
  EXPECT_THROW(DeleteRequest(files_), Error);
}

TEST_F(RequestFileTest, StatusLines) {
  WriteRunningStatus(files_, true);
  EXPECT_EQ(files_.Contents(kStatusFileName), "1,1\r\n");
  WriteRunningStatus(files_, false);
  EXPECT_EQ(files_.Contents(kStatusFileName), "0,1\r\n");
  WriteStoppedStatus(files_);
  EXPECT_EQ(files_.Contents(kStatusFileName), "0,0\r\n");
  EXPECT_EQ(files_.StoredName("ZINDOK.INF"), "zindoK.inf");
}

}  // namespace
}  // namespace zindo

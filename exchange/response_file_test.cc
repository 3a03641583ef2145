#include "exchange/response_file.h"

#include <gtest/gtest.h>

#include "exchange/file_names.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

TEST(ResponseFileTest, EveryByteInDecimalAfterTheMark) {
  EXPECT_EQ(ResponseText(std::string("\x11\x00\x81", 3)), "/0,17,0,129");
  EXPECT_EQ(ResponseText(std::string("\xff\x00\x0a\x64", 4)),
            "/0,255,0,10,100");
  EXPECT_EQ(ResponseText(""), "/0");
}

TEST(ResponseFileTest, EachWriteReplacesTheFileInOneWrite) {
  FakeJournal journal;
  FakeFileSystem files(journal);
  WriteResponse(files, std::string(19, '\x07'));
  WriteResponse(files, std::string("\x01\x00\x05", 3));
  EXPECT_EQ(files.Contents(kResponseFileName), "/0,1,0,5\r\n");
  EXPECT_EQ(files.StoredName("ZINDOK2.TXT"), "zindoK2.txt");
  EXPECT_EQ(journal.Count("write zindoK2.txt"), 2);
  EXPECT_EQ(journal.entries().size(), 2u);
}

}  // namespace
}  // namespace zindo

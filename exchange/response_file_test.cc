#include "exchange/response_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "base/test_bytes.h"
#include "exchange/file_names.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::Optional;

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

TEST(ParseResponseTest, ReplyLines) {
  EXPECT_THAT(ParseResponse("/0,17,0,129\r\n"), Optional(Bytes({17, 0, 129})));
  EXPECT_THAT(ParseResponse("/0,255,000\r\n"), Optional(Bytes({255, 0})));
  EXPECT_THAT(ParseResponse("/0\r\n"), Optional(std::string()));
}

TEST(ParseResponseTest, AFileStillBeingWrittenIsUnfinished) {
  for (const char* partial : {"", "/", "/0", "/0,17,", "/0,17,0\r"}) {
    EXPECT_EQ(ParseResponse(partial), std::nullopt) << partial;
  }
}

TEST(ParseResponseTest, MalformedLines) {
  for (const char* malformed :
       {"/1,2\r\n", "/0,256\r\n", "/0,,1\r\n", "/0,1,\r\n", "/05\r\n",
        "/0;1\r\n", "/0,1\n", "/0,1\r\n/0,2\r\n", "/0,1\rx", "0,1", "/0,1x",
        "\r\n", "/0,1234\r\n"}) {
    EXPECT_THROW(ParseResponse(malformed), MalformedResponse)
        << testing::PrintToString(std::string(malformed));
  }
}

// What the relay writes, the companion's side reads back byte for byte.
TEST(ParseResponseTest, ReadsBackWhatIsWritten) {
  std::string every_byte;
  for (int byte = 0; byte < 256; ++byte) every_byte += static_cast<char>(byte);
  for (const std::string& reply :
       {std::string(), Bytes({0}), Bytes({17, 0, 129}), every_byte}) {
    FakeJournal journal;
    FakeFileSystem files(journal);
    WriteResponse(files, reply);
    EXPECT_THAT(ParseResponse(files.Contents(kResponseFileName)),
                Optional(reply));
  }
}

}  // namespace
}  // namespace zindo

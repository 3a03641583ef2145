#include "core/port_selection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/program_name.h"
#include "exchange/file_names.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

class SelectConfiguredPortTest : public ::testing::Test {
 protected:
  SelectConfiguredPortTest() { fake_.files.PutDirectory(kWorkDirectory); }

  void Select() {
    SelectConfiguredPort(fake_.files, logged_, fake_.process, port_);
  }
  bool DefaultWritten() const {
    return fake_.files.Contents(kConfigPath) ==
           "1,-1,0,521,c,c:\\zindo\\,1\r\n";
  }
  int Messages() const { return fake_.journal.Count("message "); }

  FakePlatform fake_;
  LoggedMessageBox logged_{fake_.message_box, fake_.log};
  SerialPort port_{fake_.ports};
};

TEST_F(SelectConfiguredPortTest, MissingFileGivesMessageDefaultAndPort1) {
  Select();
  EXPECT_EQ(fake_.journal.entries().front(),
            std::string("message ") + kDefaultPortMessage);
  EXPECT_EQ(fake_.message_box.titles().front(), kProgramName);
  EXPECT_TRUE(DefaultWritten());
  EXPECT_EQ(fake_.files.StoredName(kConfigLookupPath), "LOCAL6.DAT");
  EXPECT_EQ(port_.CommPort(), 1);
}

// The first field names the port; it ends at a comma or at the line's end.
TEST_F(SelectConfiguredPortTest, ConfiguredPortIsUsedAndFileLeftAlone) {
  const struct {
    std::string content;
    int port;
  } configurations[] = {{"3,-1,0,521,c,c:\\zindo\\,1\r\n", 3},
                        {"12\r\nmore,fields\r\n", 12}};
  for (const auto& [content, port] : configurations) {
    fake_.files.Put(kConfigPath, content);
    Select();
    EXPECT_EQ(port_.CommPort(), port) << content;
    EXPECT_EQ(Messages(), 0);
    EXPECT_EQ(fake_.journal.Count("write"), 0);
    EXPECT_EQ(fake_.files.Contents(kConfigPath), content);
  }
}

TEST_F(SelectConfiguredPortTest, RefusedOrUnreadablePortsFallBackToDefault) {
  for (const char* content :
       {"0,x\r\n", "300,-1\r\n", "-1\r\n", "", "\r\n", "com2,1\r\n",
        "40000,1\r\n",
        "1234567890123456789012345678901234567890123456789012"
        "34567890123,1"}) {
    FakePlatform fake;
    fake.files.PutDirectory(kWorkDirectory);
    fake.files.Put(kConfigPath, content);
    SerialPort port(fake.ports);
    LoggedMessageBox logged(fake.message_box, fake.log);
    SelectConfiguredPort(fake.files, logged, fake.process, port);
    EXPECT_EQ(port.CommPort(), 1) << content;
    EXPECT_EQ(fake.journal.Count("message "), 1) << content;
    EXPECT_EQ(fake.files.Contents(kConfigPath),
              "1,-1,0,521,c,c:\\zindo\\,1\r\n")
        << content;
  }
}

TEST_F(SelectConfiguredPortTest, ReadFailureGivesDefault) {
  fake_.files.Put(kConfigPath, "3\r\n");
  fake_.files.FailReadsOf(kConfigPath);
  Select();
  EXPECT_EQ(Messages(), 1);
  EXPECT_EQ(port_.CommPort(), 1);
  EXPECT_FALSE(fake_.process.diagnostics().empty());
}

// The message says only that COM1 is now the default; the log says why.
TEST_F(SelectConfiguredPortTest, TheLogKeepsWhyTheDefaultWasTaken) {
  const struct {
    const char* stored_as;  // nullptr: no file
    const char* content;
    const char* why;
  } cases[] = {
      {nullptr, "", "c:\\zindo\\LOCAL6.DAT is missing"},
      {"c:\\zindo\\local6.dat", "3\r\n",
       "c:\\zindo\\LOCAL6.DAT is missing: there is local6.dat, and the name "
       "must be in capitals"},
      {kConfigPath, "0,x\r\n",
       "LOCAL6.DAT names port 0, which this PC does not have"},
      {kConfigPath, "com2,1\r\n",
       "c:\\zindo\\LOCAL6.DAT: \"com2\" is not a port number"},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.files.PutDirectory(kWorkDirectory);
    if (c.stored_as != nullptr) fake.files.Put(c.stored_as, c.content);
    SerialPort port(fake.ports);
    LoggedMessageBox logged(fake.message_box, fake.log);
    SelectConfiguredPort(fake.files, logged, fake.process, port);
    EXPECT_THAT(fake.log.lines,
                ::testing::ElementsAre(std::string("message (") + c.why + ") " +
                                       kDefaultPortMessage));
  }
}

TEST_F(SelectConfiguredPortTest, UnwritableDefaultIsReportedAndPort1Kept) {
  fake_.files.FailWritesTo(kConfigPath);
  Select();
  EXPECT_EQ(Messages(), 1);
  EXPECT_EQ(port_.CommPort(), 1);
  ASSERT_EQ(fake_.process.diagnostics().size(), 1u);
  EXPECT_THAT(fake_.process.diagnostics()[0],
              ::testing::HasSubstr("default configuration"));
}

}  // namespace
}  // namespace zindo

#include "link/serial_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"
#include "platform/fake/fake_platform.h"

namespace zindo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SerialPortTest : public ::testing::Test {
 protected:
  FakeJournal journal_;
  FakeSerialPorts ports_{journal_};
  SerialPort port_{ports_};
};

TEST_F(SerialPortTest, ReopeningKeepsPortSettingsAndRts) {
  port_.SetCommPort(3);
  port_.SetSettings("9600,E,7,2");
  port_.SetPortOpen(true);
  port_.SetRTSEnable(true);
  port_.SetPortOpen(false);
  port_.SetPortOpen(true);
  EXPECT_THAT(journal_.entries(),
              ElementsAre("open COM3 9600,E,7,2", "rts on", "close COM3",
                          "open COM3 9600,E,7,2", "rts on"));
  EXPECT_TRUE(ports_.line(3).rts);
}

TEST_F(SerialPortTest, RefusesPortNumbersThatNameNoPortAndKeepsTheOldOne) {
  for (int16_t refused : {0, -1, 256, 300, INT16_MAX}) {
    EXPECT_THROW(port_.SetCommPort(refused), Error) << refused;
  }
  EXPECT_EQ(port_.CommPort(), 1);
  port_.SetCommPort(255);
  EXPECT_EQ(port_.CommPort(), 255);
}

TEST_F(SerialPortTest, RefusesToChangeOrReopenAnOpenPort) {
  port_.SetPortOpen(true);
  EXPECT_THROW(port_.SetCommPort(2), Error);
  EXPECT_THROW(port_.SetPortOpen(true), Error);
  EXPECT_EQ(journal_.Count("open"), 1);
  port_.SetPortOpen(false);
  port_.SetPortOpen(false);  // closing a closed port does nothing
  EXPECT_EQ(journal_.Count("close"), 1);
}

TEST_F(SerialPortTest, LineAccessNeedsAnOpenPort) {
  EXPECT_THROW(port_.CDHolding(), Error);
  EXPECT_THROW(port_.InBufferCount(), Error);
  EXPECT_THROW(port_.Input(), Error);
  EXPECT_THROW(port_.Output("x"), Error);
  // Signal choices made while closed are kept for the open.
  port_.SetRTSEnable(true);
  port_.SetRThreshold(1);
  port_.SetPortOpen(true);
  EXPECT_TRUE(ports_.line(1).rts);
}

TEST_F(SerialPortTest, ParsesLineSettings) {
  LineSettings settings = ParseLineSettings("19200,N,8,1");
  EXPECT_EQ(settings, (LineSettings{19200, Parity::kNone, 8, 1}));
  EXPECT_EQ(ParseLineSettings("300,o,5,2"),
            (LineSettings{300, Parity::kOdd, 5, 2}));
  for (const char* bad :
       {"", "19200", "19200,N,8", "19200,N,8,1,1", "19200,X,8,1",
        "19200,NN,8,1", "0,N,8,1", "-9600,N,8,1", "19200,N,9,1", "19200,N,8,3",
        "19200 ,N,8,1", "19200,N,8,1.5"}) {
    EXPECT_THROW(ParseLineSettings(bad), Error) << bad;
  }
}

TEST_F(SerialPortTest, BadSettingsKeepThePreviousOnes) {
  port_.SetSettings("19200,N,8,1");
  EXPECT_THROW(port_.SetSettings("fast"), Error);
  port_.SetPortOpen(true);
  EXPECT_EQ(journal_.entries().back(), "open COM1 19200,N,8,1");
}

TEST_F(SerialPortTest, EveryByteValuePassesUnchanged) {
  std::string all;
  for (int value = 0; value < 256; ++value) all += static_cast<char>(value);
  port_.SetPortOpen(true);
  port_.Output(all);
  EXPECT_EQ(ports_.line(1).written, all);
  ports_.line(1).received = all;
  EXPECT_EQ(port_.InBufferCount(), 256);
  EXPECT_EQ(port_.Input(), all);
  EXPECT_EQ(port_.InBufferCount(), 0);
}

TEST_F(SerialPortTest, InputLenLimitsAReadWithoutLosingTheRest) {
  port_.SetPortOpen(true);
  ports_.line(1).received = "abcdef";
  port_.SetInputLen(4);
  EXPECT_EQ(port_.Input(), "abcd");
  EXPECT_EQ(port_.InBufferCount(), 2);
  ports_.line(1).received = "gh";
  port_.SetInputLen(0);
  EXPECT_EQ(port_.Input(), "efgh");
  EXPECT_THROW(port_.SetInputLen(-1), Error);
}

TEST_F(SerialPortTest, AGoneDeviceFailsTheNextAccessNamingThePort) {
  port_.SetCommPort(4);
  port_.SetPortOpen(true);
  ports_.line(4).gone = true;
  try {
    port_.InBufferCount();
    FAIL() << "InBufferCount succeeded on a gone device";
  } catch (const Error& error) {
    EXPECT_THAT(error.what(), HasSubstr("COM4"));
    EXPECT_THAT(error.what(),
                ::testing::StartsWith("COM4: the device went away (adapter "
                                      "unplugged?): "));
    EXPECT_TRUE(error.Is(ErrorKind::kGone));
  }
  EXPECT_THROW(port_.Output("x"), Error);
  // Missing when the recovery cycle opens it again: gone all the same.
  port_.SetPortOpen(false);
  try {
    port_.SetPortOpen(true);
    FAIL() << "a gone device opened again";
  } catch (const Error& error) {
    EXPECT_THAT(error.what(), HasSubstr("COM4: the device went away"));
  }
}

TEST_F(SerialPortTest, AFailedOpenLeavesThePortClosedAndNamesIt) {
  ports_.FailOpen(2, "open /dev/pts/9: Device or resource busy");
  port_.SetCommPort(2);
  try {
    port_.SetPortOpen(true);
    FAIL() << "open succeeded";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(),
                 "COM2: open /dev/pts/9: Device or resource busy");
  }
  EXPECT_FALSE(port_.PortOpen());
}

}  // namespace
}  // namespace zindo

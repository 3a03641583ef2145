// No test here opens a port: the settings and the numbering are checked
// without touching a device.
#include "platform/serial_device-win32.h"

#include <cstring>
#include <memory>

#include "gtest/gtest.h"

namespace zindo {
namespace {

TEST(Win32SerialPortsTest, PortsAreNumberedOneTo255) {
  Win32SerialPorts ports(std::make_shared<WatchList>());
  for (int number : {1, 10, 255}) EXPECT_TRUE(ports.IsValidPortNumber(number));
  for (int number : {0, 256, -1}) EXPECT_FALSE(ports.IsValidPortNumber(number));
}

TEST(Win32SerialPortsTest, UnsupportedSettingsAreNamed) {
  EXPECT_EQ(UnsupportedSetting(LineSettings{}), "");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 9, 1}), "9 data bits");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 4, 1}), "4 data bits");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 8, 3}), "3 stop bits");
  EXPECT_EQ(UnsupportedSetting({0, Parity::kNone, 8, 1}), "0 baud");
  EXPECT_EQ(UnsupportedSetting({115200, Parity::kMark, 5, 2}), "");
}

// Whatever the driver hands back (here every flag flipped the wrong way),
// the line gets the settings asked for, raw, with DTR and RTS simply raised.
TEST(Win32SerialPortsTest, RawLineTakesTheSettingsWithoutFlowControl) {
  const struct {
    LineSettings settings;
    DWORD baud;
    BYTE byte_size, parity, stop_bits;
  } cases[] = {
      {LineSettings{}, 19200, 8, NOPARITY, ONESTOPBIT},
      {{9600, Parity::kEven, 7, 2}, 9600, 7, EVENPARITY, TWOSTOPBITS},
      {{9600, Parity::kOdd, 8, 1}, 9600, 8, ODDPARITY, ONESTOPBIT},
      {{9600, Parity::kMark, 8, 1}, 9600, 8, MARKPARITY, ONESTOPBIT},
      {{9600, Parity::kSpace, 8, 1}, 9600, 8, SPACEPARITY, ONESTOPBIT},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(static_cast<int>(test.parity));
    DCB line;
    std::memset(&line, 0xFF, sizeof line);
    line.fBinary = line.fTXContinueOnXoff = FALSE;
    MakeRawLine(test.settings, line);
    EXPECT_EQ(line.BaudRate, test.baud);
    EXPECT_EQ(line.ByteSize, test.byte_size);
    EXPECT_EQ(line.Parity, test.parity);
    EXPECT_EQ(line.fParity, static_cast<DWORD>(test.parity != NOPARITY));
    EXPECT_EQ(line.StopBits, test.stop_bits);
    EXPECT_TRUE(line.fBinary);
    EXPECT_FALSE(line.fOutxCtsFlow);
    EXPECT_FALSE(line.fOutxDsrFlow);
    EXPECT_FALSE(line.fDsrSensitivity);
    EXPECT_FALSE(line.fOutX);
    EXPECT_FALSE(line.fInX);
    EXPECT_TRUE(line.fTXContinueOnXoff);
    EXPECT_FALSE(line.fErrorChar);
    EXPECT_FALSE(line.fNull);
    EXPECT_FALSE(line.fAbortOnError);
    EXPECT_EQ(line.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(line.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  }
}

}  // namespace
}  // namespace zindo

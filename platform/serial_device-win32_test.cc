// No test here opens a port: the settings and the numbering are checked
// without touching a device.
#include "platform/serial_device-win32.h"

#include <memory>

#include "gtest/gtest.h"

namespace zindo {
namespace {

TEST(Win32SerialPortsTest, PortsAreNumberedOneTo255) {
  Win32SerialPorts ports(std::make_shared<WatchList>());
  EXPECT_FALSE(ports.IsValidPortNumber(0));
  EXPECT_TRUE(ports.IsValidPortNumber(1));
  EXPECT_TRUE(ports.IsValidPortNumber(10));
  EXPECT_TRUE(ports.IsValidPortNumber(255));
  EXPECT_FALSE(ports.IsValidPortNumber(256));
  EXPECT_FALSE(ports.IsValidPortNumber(-1));
}

TEST(Win32SerialPortsTest, UnsupportedSettingsAreNamed) {
  EXPECT_EQ(UnsupportedSetting(LineSettings{}), "");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 9, 1}), "9 data bits");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 4, 1}), "4 data bits");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 8, 3}), "3 stop bits");
  EXPECT_EQ(UnsupportedSetting({0, Parity::kNone, 8, 1}), "0 baud");
  EXPECT_EQ(UnsupportedSetting({115200, Parity::kMark, 5, 2}), "");
}

// What a driver may hand back: every kind of flow control on.
DCB LineWithEverythingOn() {
  DCB line{};
  line.DCBlength = sizeof line;
  line.fOutxCtsFlow = line.fOutxDsrFlow = line.fDsrSensitivity = TRUE;
  line.fOutX = line.fInX = line.fErrorChar = line.fNull = TRUE;
  line.fAbortOnError = TRUE;
  line.fTXContinueOnXoff = FALSE;
  line.fDtrControl = DTR_CONTROL_HANDSHAKE;
  line.fRtsControl = RTS_CONTROL_HANDSHAKE;
  return line;
}

TEST(Win32SerialPortsTest, RawLineIs19200EightNoneOneWithoutFlowControl) {
  DCB line = LineWithEverythingOn();
  MakeRawLine(LineSettings{}, line);
  EXPECT_EQ(line.BaudRate, 19200u);
  EXPECT_EQ(line.ByteSize, 8);
  EXPECT_EQ(line.Parity, NOPARITY);
  EXPECT_FALSE(line.fParity);
  EXPECT_EQ(line.StopBits, ONESTOPBIT);
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

TEST(Win32SerialPortsTest, RawLineTakesParityDataAndStopBits) {
  DCB line = LineWithEverythingOn();
  MakeRawLine({9600, Parity::kEven, 7, 2}, line);
  EXPECT_EQ(line.BaudRate, 9600u);
  EXPECT_EQ(line.ByteSize, 7);
  EXPECT_EQ(line.Parity, EVENPARITY);
  EXPECT_TRUE(line.fParity);
  EXPECT_EQ(line.StopBits, TWOSTOPBITS);
  MakeRawLine({9600, Parity::kSpace, 8, 1}, line);
  EXPECT_EQ(line.Parity, SPACEPARITY);
  MakeRawLine({9600, Parity::kMark, 8, 1}, line);
  EXPECT_EQ(line.Parity, MARKPARITY);
  MakeRawLine({9600, Parity::kOdd, 8, 1}, line);
  EXPECT_EQ(line.Parity, ODDPARITY);
}

}  // namespace
}  // namespace zindo

// No test here opens a COM port: the settings and the numbering are checked
// without touching a device. Network ports are opened, to a server of the
// test's own on 127.0.0.1.
#include "platform/serial/serial_device-win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "gtest/gtest.h"
#include "platform/serial/known_ports-win32.h"
#include "platform/testing/testing-win32.h"

namespace zindo {
namespace {

TEST(Win32SerialPortsTest, PortsAreNumberedOneTo255) {
  Win32SerialPorts ports(".", std::make_shared<WatchList>());
  for (int number : {1, 10, 255}) EXPECT_TRUE(ports.IsValidPortNumber(number));
  for (int number : {0, 256, -1}) EXPECT_FALSE(ports.IsValidPortNumber(number));
}

// Windows refuses a port that another program holds as access denied or as
// a sharing violation: both read "in use", as the check says it. (Wine lets
// a second process open a held port, so only the mapping can be tested.)
TEST(Win32SerialPortsTest, AFailedOpenSaysInUseOrWhichPortsThereAre) {
  const std::vector<KnownPort> known = {{1, "Communications Port (COM1)"},
                                        {4, "COM4"}};
  const struct {
    DWORD code;
    ErrorKind kind;
    std::string message;
  } cases[] = {
      {ERROR_ACCESS_DENIED, ErrorKind::kBusy,
       "open COM3: in use by another program (a relay that is still "
       "running?)"},
      {ERROR_SHARING_VIOLATION, ErrorKind::kBusy,
       "open COM3: in use by another program (a relay that is still "
       "running?)"},
      {ERROR_FILE_NOT_FOUND, ErrorKind::kNotFound,
       "open COM3: no such port on this PC (it has COM1, COM4)"},
      {ERROR_GEN_FAILURE, ErrorKind::kGone, "open COM3: "},
  };
  for (const auto& c : cases) {
    const Error error = ComPortOpenError("open COM3", c.code, known);
    EXPECT_EQ(error.kind(), c.kind) << c.code;
    EXPECT_EQ(std::string(error.what()).substr(0, c.message.size()), c.message)
        << c.code;
  }
}

TEST(Win32SerialPortsTest, UnsupportedSettingsAreNamed) {
  EXPECT_EQ(UnsupportedSetting(LineSettings{}), "");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 9, 1}), "9 data bits");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 4, 1}), "4 data bits");
  EXPECT_EQ(UnsupportedSetting({19200, Parity::kNone, 8, 3}), "3 stop bits");
  EXPECT_EQ(UnsupportedSetting({0, Parity::kNone, 8, 1}), "0 baud");
  EXPECT_EQ(UnsupportedSetting({115200, Parity::kMark, 5, 2}), "");
}

// An unplugged adapter's driver fails the open port's calls with these.
TEST(Win32SerialPortsTest, AnOpenPortThatFailsThisWayHasGone) {
  const std::pair<DWORD, ErrorKind> cases[] = {
      {ERROR_ACCESS_DENIED, ErrorKind::kGone},
      {ERROR_OPERATION_ABORTED, ErrorKind::kGone},
      {ERROR_BAD_COMMAND, ErrorKind::kGone},
      {ERROR_DEVICE_REMOVED, ErrorKind::kGone},
      {ERROR_GEN_FAILURE, ErrorKind::kGone},
      {ERROR_INVALID_PARAMETER, ErrorKind::kOther},
  };
  for (const auto& [code, kind] : cases) {
    EXPECT_EQ(OpenPortErrorKind(code), kind) << code;
  }
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

// A listening socket on a free port of 127.0.0.1.
SOCKET ListenOnLoopback(int& port) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}

// zindo-comN.txt makes port N a network port: bytes cross unchanged both
// ways, carrier detect reads off, and the server closing the connection is
// the device gone. With nothing listening the open fails, naming the file.
TEST(Win32SerialPortsTest, PortFileNamesASerialServer) {
  win32_test::TemporaryDirectory work;
  int port = 0;
  SOCKET listener = ListenOnLoopback(port);
  win32_test::WriteNativeFile(
      work / "zindo-com3.txt",
      "\xEF\xBB\xBF tcp://127.0.0.1:" + std::to_string(port) + "\r\n");
  Win32SerialPorts ports(work.path(), std::make_shared<WatchList>());
  std::unique_ptr<SerialDevice> device = ports.Open(3, LineSettings{});
  SOCKET server = ::accept(listener, nullptr, nullptr);
  ::closesocket(listener);
  ASSERT_NE(server, INVALID_SOCKET);

  device->Write("\xFF\x01");
  char received[8] = {};
  EXPECT_EQ(::recv(server, received, sizeof received, 0), 2);
  EXPECT_EQ(std::string(received, 2), "\xFF\x01");
  ::send(server, "ab\xFF", 3, 0);
  const double start = MonotonicNow();
  while (device->BytesWaiting() < 3 && win32_test::SecondsSince(start) < 5) {
    ::Sleep(10);
  }
  EXPECT_EQ(device->ReadAll(), "ab\xFF");
  EXPECT_FALSE(device->CarrierDetect());

  ::closesocket(server);
  try {
    while (win32_test::SecondsSince(start) < 10) {
      device->BytesWaiting();
      ::Sleep(10);
    }
    ADD_FAILURE() << "the closed connection went unnoticed";
  } catch (const Error& error) {
    EXPECT_TRUE(error.Is(ErrorKind::kGone)) << error.what();
  }

  win32_test::WriteNativeFile(work / "zindo-com4.txt",
                              "tcp://127.0.0.1:" + std::to_string(port));
  try {
    ports.Open(4, LineSettings{});
    ADD_FAILURE() << "opened a port nothing listens on";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("zindo-com4.txt"),
              std::string::npos);
    EXPECT_NE(std::string(error.what()).find("connect 127.0.0.1:"),
              std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace zindo

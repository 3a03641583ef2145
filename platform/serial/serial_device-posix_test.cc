#include "platform/serial/serial_device-posix.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::AllByteValues;
using posix_test::ReadBytes;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::ThrowsMessage;

auto OfKind(ErrorKind kind) {
  return ::testing::Throws<Error>(::testing::Property(&Error::kind, kind));
}

constexpr auto kPatience = std::chrono::seconds(10);
constexpr int kPort = 5;

// Port 5 is linked to a pseudo-terminal the test owns; no test reaches a
// port without such a link.
class PosixSerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    posix_test::MakeDirectory(prefix_);
    posix_test::MakeDirectory(prefix_ + "/dosdevices");
    posix_test::MakeSymlink(terminal_.slave_path(),
                            prefix_ + "/dosdevices/com5");
  }

  // Sends `bytes` from the far end and reads them once all have come.
  std::string SendAndReadAll(SerialDevice& device, const std::string& bytes) {
    EXPECT_EQ(::write(terminal_.master(), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
    EXPECT_TRUE(posix_test::WaitUntil(
        [&] { return device.BytesWaiting() >= static_cast<int>(bytes.size()); },
        kPatience));
    return device.ReadAll();
  }

  posix_test::TemporaryDirectory root_;
  std::string prefix_ = root_ / "prefix";
  posix_test::PseudoTerminal terminal_;
  std::shared_ptr<WatchList> watch_list_ = std::make_shared<WatchList>();
  PosixSerialPorts ports_{prefix_, watch_list_};
};

// --- Finding the device ---

TEST_F(PosixSerialTest, PortsAreNumberedOneTo255AndCountedFromZero) {
  EXPECT_FALSE(ports_.IsValidPortNumber(0));
  EXPECT_TRUE(ports_.IsValidPortNumber(1));
  EXPECT_TRUE(ports_.IsValidPortNumber(255));
  EXPECT_FALSE(ports_.IsValidPortNumber(256));
  EXPECT_THROW(ports_.Open(0, LineSettings{}), Error);
  // Only names are compared; nothing is opened.
  std::string machine_ports = std::string("/dev/tty") + "S";
  EXPECT_EQ(ports_.DevicePath(1), machine_ports + "0");
  EXPECT_EQ(ports_.DevicePath(12), machine_ports + "11");
}

// The ports there are: the links to a device that is there or to a serial
// server, never a dangling one, nor a built-in port without a link.
TEST_F(PosixSerialTest, DanglingLinkFailsWithoutFallingBack) {
  posix_test::MakeSymlink(root_ / "unplugged", prefix_ + "/dosdevices/com7");
  posix_test::MakeSymlink("tcp://127.0.0.1:4001", prefix_ + "/dosdevices/com9");

  EXPECT_EQ(
      ports_.KnownPorts(),
      (std::vector<KnownPort>{{5, "COM5 (" + terminal_.slave_path() + ")"},
                              {9, "COM9 (tcp://127.0.0.1:4001)"}}));
  EXPECT_THAT(
      [&] { ports_.Open(7, LineSettings{}); },
      AllOf(ThrowsMessage<Error>(AllOf(HasSubstr(prefix_ + "/dosdevices/com7"),
                                       HasSubstr("no such port on this PC "
                                                 "(it has COM5, COM9)"),
                                       Not(HasSubstr("/dev/tty")))),
            OfKind(ErrorKind::kNotFound)));
}

// --- Line settings ---

TEST_F(PosixSerialTest, OpensRawWithTheBaudAndStopBitsAsked) {
  auto device = ports_.Open(kPort, {19200, Parity::kNone, 8, 2});

  termios line{};
  ASSERT_EQ(::tcgetattr(terminal_.slave(), &line), 0);
  EXPECT_EQ(::cfgetispeed(&line), speed_t{B19200});
  EXPECT_EQ(::cfgetospeed(&line), speed_t{B19200});
  EXPECT_EQ(line.c_cflag & (CSTOPB | CLOCAL | CREAD | CRTSCTS),
            tcflag_t{CSTOPB | CLOCAL | CREAD});
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_cc[VMIN], 0);
  EXPECT_EQ(line.c_cc[VTIME], 0);
}

// A pseudo-terminal always reports 8 data bits without parity, so framing
// is checked on the settings as they are handed to the kernel.
TEST(MakeRawLineTest, SetsFramingFromTheSettings) {
  struct Case {
    LineSettings settings;
    tcflag_t expected;
  };
  const Case cases[] = {
      {{9600, Parity::kNone, 8, 1}, CS8},
      {{9600, Parity::kEven, 7, 2}, CS7 | PARENB | CSTOPB},
      {{9600, Parity::kOdd, 7, 1}, CS7 | PARENB | PARODD},
      {{9600, Parity::kMark, 8, 1}, CS8 | PARENB | PARODD | CMSPAR},
      {{9600, Parity::kSpace, 6, 1}, CS6 | PARENB | CMSPAR},
      {{9600, Parity::kNone, 5, 1}, CS5},
  };
  for (const Case& c : cases) {
    termios line{};  // Starts set up the opposite way.
    line.c_cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    line.c_iflag = IXON | IXOFF | IXANY;

    MakeRawLine(c.settings, line);

    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
              c.expected)
        << c.settings.data_bits << " data bits, parity "
        << static_cast<int>(c.settings.parity);
    EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u);
  }
}

TEST_F(PosixSerialTest, RefusesSettingsTheLineCannotTake) {
  EXPECT_THAT(
      [&] {
        ports_.Open(kPort, {12345, Parity::kNone, 8, 1});
      },
      ThrowsMessage<Error>(HasSubstr("12345 baud")));
  EXPECT_THROW(ports_.Open(kPort, {19200, Parity::kNone, 9, 1}), Error);
  EXPECT_THROW(ports_.Open(kPort, {19200, Parity::kNone, 8, 3}), Error);
  EXPECT_THAT(watch_list_->serial_ports(), IsEmpty());
}

// --- Bytes ---

// Every byte value, in from the far end and out in more than the line
// buffers at once.
TEST_F(PosixSerialTest, PassesEveryByteValueBothWaysUnchanged) {
  auto device = ports_.Open(kPort, LineSettings{});
  EXPECT_EQ(device->ReadAll(), "");

  EXPECT_EQ(SendAndReadAll(*device, AllByteValues()), AllByteValues());
  EXPECT_EQ(device->BytesWaiting(), 0);

  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += AllByteValues();
  std::string received;
  std::thread far_end([&] {
    received = ReadBytes(terminal_.master(), bytes.size(), kPatience);
  });
  device->Write(bytes);
  far_end.join();
  EXPECT_EQ(received, bytes);
}

// --- Holding the port ---

// The open port is watched, held by its lock alone (on a pseudo-terminal
// the exclusive-open flag would outlive a killed holder for as long as the
// master stays open), and given back on close. A line without modem
// signals has no carrier and ignores RTS.
TEST_F(PosixSerialTest, PortIsHeldAndWatchedUntilClosed) {
  auto first = ports_.Open(kPort, LineSettings{});
  int exclusive = -1;
  ASSERT_EQ(::ioctl(terminal_.slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ASSERT_EQ(watch_list_->serial_ports().size(), 1u);
  termios line{};
  EXPECT_EQ(::tcgetattr(watch_list_->serial_ports()[0].fd, &line), 0);
  EXPECT_FALSE(first->CarrierDetect());
  EXPECT_NO_THROW(first->SetRts(true));
  EXPECT_NO_THROW(first->SetRts(false));

  EXPECT_THAT([&] { ports_.Open(kPort, LineSettings{}); },
              AllOf(ThrowsMessage<Error>(AllOf(
                        HasSubstr("COM5"), HasSubstr(terminal_.slave_path()),
                        HasSubstr("in use by another program"))),
                    OfKind(ErrorKind::kBusy)));
  EXPECT_EQ(SendAndReadAll(*first, "still mine"), "still mine");

  first.reset();
  EXPECT_THAT(watch_list_->serial_ports(), IsEmpty());
  EXPECT_NO_THROW(ports_.Open(kPort, LineSettings{}));
}

TEST_F(PosixSerialTest, EveryCallFailsOnceTheFarEndHasHungUp) {
  auto device = ports_.Open(kPort, LineSettings{});
  terminal_.CloseMaster();

  auto names_the_device =
      AllOf(ThrowsMessage<Error>(HasSubstr("COM5")), OfKind(ErrorKind::kGone));
  EXPECT_THAT([&] { device->BytesWaiting(); }, names_the_device);
  EXPECT_THAT([&] { device->ReadAll(); }, names_the_device);
  EXPECT_THAT([&] { device->Write("x"); }, names_the_device);
  EXPECT_THAT([&] { device->CarrierDetect(); }, names_the_device);
  EXPECT_THAT([&] { device->SetRts(true); }, names_the_device);
}

}  // namespace
}  // namespace zindo

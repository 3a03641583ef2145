#include "platform/serial/serial_device-posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/files/file_system-posix.h"
#include "platform/serial/network_port.h"
#include "platform/serial/network_stream.h"
#include "platform/system/clock-posix.h"
#include "platform/system/watch_list-posix.h"

namespace zindo {
namespace {

// How long a write may wait for the line to take more bytes. Without flow
// control a real port always drains, so only a stuck device waits this long.
constexpr double kWriteStallLimitSeconds = 5.0;

struct BaudRate {
  int baud;
  speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},
    {134, B134},         {150, B150},         {200, B200},
    {300, B300},         {600, B600},         {1200, B1200},
    {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},
    {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// Whether `settings` can be put on a line; names the first that cannot.
std::string UnsupportedSetting(const LineSettings& settings) {
  bool known_baud = false;
  for (const BaudRate& rate : kBaudRates) {
    known_baud = known_baud || rate.baud == settings.baud;
  }
  if (!known_baud) return std::to_string(settings.baud) + " baud";
  if (settings.data_bits < 5 || settings.data_bits > 8) {
    return std::to_string(settings.data_bits) + " data bits";
  }
  if (settings.stop_bits != 1 && settings.stop_bits != 2) {
    return std::to_string(settings.stop_bits) + " stop bits";
  }
  return "";
}

speed_t SpeedFor(int baud) {
  for (const BaudRate& rate : kBaudRates) {
    if (rate.baud == baud) return rate.speed;
  }
  return B0;  // Not reached: settings are checked before the port opens.
}

tcflag_t CharacterSizeFlag(int data_bits) {
  switch (data_bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t ParityFlags(Parity parity) {
  switch (parity) {
    case Parity::kOdd:
      return PARENB | PARODD;
    case Parity::kEven:
      return PARENB;
    case Parity::kMark:
      return PARENB | CMSPAR | PARODD;
    case Parity::kSpace:
      return PARENB | CMSPAR;
    case Parity::kNone:
      break;
  }
  return 0;
}

// Pseudo-terminals have no modem lines; the kernel says so with these.
bool LacksModemLines(int error) { return error == ENOTTY || error == EINVAL; }

// Unix 98 pseudo-terminal slaves have majors 136 to 143, the old BSD ones 3.
bool IsPseudoTerminal(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
  const unsigned int device_major = major(status.st_rdev);
  return (device_major >= 136 && device_major <= 143) || device_major == 3;
}

// Why the port `name` did not open, in the words the check uses too; `known`
// are the ports there are, for a port that is not.
Error OpenError(const std::string& name, int error,
                const std::vector<KnownPort>& known) {
  if (error == EBUSY) {
    return Error("open " + name + ": " + kPortInUse, ErrorKind::kBusy);
  }
  if (error == ENOENT) {
    return Error("open " + name + ": " + NoSuchPortText(known),
                 ErrorKind::kNotFound);
  }
  return SystemError("open " + name, error);
}

class PosixSerialDevice : public SerialDevice {
 public:
  PosixSerialDevice(UniqueFd fd, std::string name,
                    std::shared_ptr<WatchList> watch_list)
      : fd_(std::move(fd)),
        name_(std::move(name)),
        watch_list_(std::move(watch_list)) {
    watch_list_->AddSerialPort(fd_.get());
  }

  ~PosixSerialDevice() override {
    watch_list_->RemoveSerialPort(fd_.get());
    // Closing drops the flock. The exclusive-open flag belongs to the
    // terminal, not to this descriptor, so it is cleared explicitly; only
    // when this device set it, never on behalf of another holder.
    if (exclusive_) ::ioctl(fd_.get(), TIOCNXCL);
  }

  // Takes the line for this process alone. The flock also stops root,
  // whom TIOCEXCL lets through. A pseudo-terminal keeps TIOCEXCL for as long
  // as its master is open, not until its last close, so a relay that was
  // killed would leave a virtual port busy for good: there the flock, which
  // ends with the process, is the only lock.
  void TakeExclusively() {
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
      throw OpenError(name_, IsWouldBlock(errno) ? EBUSY : errno, {});
    }
    if (IsPseudoTerminal(fd_.get())) return;
    if (::ioctl(fd_.get(), TIOCEXCL) != 0) throw OpenError(name_, errno, {});
    exclusive_ = true;
  }

  void ApplySettings(const LineSettings& settings) {
    termios line;
    if (::tcgetattr(fd_.get(), &line) != 0) {
      throw SystemError("configure " + name_, errno);
    }
    MakeRawLine(settings, line);
    if (::tcsetattr(fd_.get(), TCSANOW, &line) != 0) {
      throw SystemError("configure " + name_, errno);
    }
  }

  void SetRts(bool on) override {
    FailIfGone("set RTS on");
    int bits = TIOCM_RTS;
    if (::ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &bits) != 0 &&
        !LacksModemLines(errno)) {
      throw SystemError("set RTS on " + name_, errno);
    }
  }

  bool CarrierDetect() override {
    FailIfGone("read carrier detect of");
    int bits = 0;
    if (::ioctl(fd_.get(), TIOCMGET, &bits) == 0) return (bits & TIOCM_CD);
    if (LacksModemLines(errno)) return false;
    throw SystemError("read carrier detect of " + name_, errno);
  }

  int BytesWaiting() override {
    FailIfGone("read");
    int waiting = 0;
    if (::ioctl(fd_.get(), FIONREAD, &waiting) != 0) {
      throw SystemError("read " + name_, errno);
    }
    return waiting;
  }

  std::string ReadAll() override;
  void Write(const std::string& bytes) override;

 private:
  void FailIfGone(const std::string& operation);
  void WaitUntilWritable();

  UniqueFd fd_;
  std::string name_;
  std::shared_ptr<WatchList> watch_list_;
  bool exclusive_ = false;
};

// A pseudo-terminal whose far end has closed still answers FIONREAD with 0,
// so a hang-up shows only in poll().
void PosixSerialDevice::FailIfGone(const std::string& operation) {
  pollfd watched{fd_.get(), POLLIN, 0};
  if (::poll(&watched, 1, 0) <= 0) return;
  if (watched.revents & POLLNVAL)
    throw SystemError(operation + " " + name_, EBADF);
  if (watched.revents & POLLHUP) {
    throw Error(operation + " " + name_ + ": the device hung up",
                ErrorKind::kGone);
  }
  if (watched.revents & POLLERR) {
    throw Error(operation + " " + name_ + ": the device reported an error",
                ErrorKind::kGone);
  }
}

std::string PosixSerialDevice::ReadAll() {
  FailIfGone("read");
  std::string received;
  char buffer[4096];
  for (;;) {
    ssize_t got = ::read(fd_.get(), buffer, sizeof buffer);
    if (got > 0) {
      received.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || IsWouldBlock(errno)) {
      return received;  // With VMIN and VTIME 0, an empty line reads 0.
    } else if (errno != EINTR) {
      throw SystemError("read " + name_, errno);
    }
  }
}

void PosixSerialDevice::Write(const std::string& bytes) {
  FailIfGone("write");
  std::string_view rest = bytes;
  while (!rest.empty()) {
    ssize_t written = ::write(fd_.get(), rest.data(), rest.size());
    if (written > 0) {
      rest.remove_prefix(static_cast<std::size_t>(written));
    } else if (written == 0 || IsWouldBlock(errno)) {
      WaitUntilWritable();
    } else if (errno != EINTR) {
      throw SystemError("write " + name_, errno);
    }
  }
}

void PosixSerialDevice::WaitUntilWritable() {
  pollfd watched{fd_.get(), POLLOUT, 0};
  const timespec limit = ToTimespec(kWriteStallLimitSeconds, Rounding::kUp);
  int ready = ::ppoll(&watched, 1, &limit, nullptr);
  if (ready < 0 && errno == EINTR) return;
  if (ready < 0) throw SystemError("write " + name_, errno);
  if (ready == 0) {
    throw Error("write " + name_ + ": the device took nothing for " +
                std::to_string(static_cast<int>(kWriteStallLimitSeconds)) +
                " seconds");
  }
  if (watched.revents & POLLOUT) return;
  FailIfGone("write");
}

// "COM3 (/dev/...)", with the target of a dosdevices link.
std::string DescribePort(int port, const std::string& path) {
  std::string description = "COM" + std::to_string(port) + " (" + path;
  std::string target = LinkTarget(path).value_or("");
  if (!target.empty()) description += " -> " + target;
  return description + ")";
}

// A link may name a serial server instead of a device: its target is then
// an address such as rfc2217://nport.local:4001, which the link only holds.
std::unique_ptr<SerialDevice> OpenNetworkPort(
    int port, const std::string& target, const LineSettings& settings,
    std::shared_ptr<WatchList> watch_list) {
  const NetworkAddress address = ParseNetworkAddress(target);
  const std::string name = "COM" + std::to_string(port) + " (" + target + ")";
  return OpenNetworkDevice(
      address, ConnectTo(address, name, std::move(watch_list)), settings);
}

}  // namespace

void MakeRawLine(const LineSettings& settings, termios& line) {
  ::cfmakeraw(&line);
  ::cfsetispeed(&line, SpeedFor(settings.baud));
  ::cfsetospeed(&line, SpeedFor(settings.baud));
  line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  line.c_cflag |= CharacterSizeFlag(settings.data_bits) |
                  ParityFlags(settings.parity) | CLOCAL | CREAD;
  if (settings.stop_bits == 2) line.c_cflag |= CSTOPB;
  line.c_iflag &= ~(IXON | IXOFF | IXANY);
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
}

PosixSerialPorts::PosixSerialPorts(std::string prefix,
                                   std::shared_ptr<WatchList> watch_list)
    : prefix_(std::move(prefix)), watch_list_(std::move(watch_list)) {}

bool PosixSerialPorts::IsValidPortNumber(int port) {
  return port >= 1 && port <= 255;
}

std::string PosixSerialPorts::DevicePath(int port) const {
  std::string link = prefix_ + "/dosdevices/com" + std::to_string(port);
  struct stat status;
  // A link whose target is missing still names the port: the open fails
  // rather than reaching for some other device.
  if (::lstat(link.c_str(), &status) == 0) return link;
  return "/dev/ttyS" + std::to_string(port - 1);
}

std::string PosixSerialPorts::ServerOf(int port) const {
  const std::string target = LinkTarget(DevicePath(port)).value_or("");
  return NamesNetworkPort(target) ? target : "";
}

// Only the ports the prefix maps: every machine has /dev/ttyS0 to S31,
// whether or not a port is behind them.
std::vector<KnownPort> PosixSerialPorts::KnownPorts() {
  std::vector<KnownPort> known;
  for (int port = 1; port <= 255; ++port) {
    const std::string link = prefix_ + "/dosdevices/com" + std::to_string(port);
    const std::string target = LinkTarget(link).value_or("");
    struct stat status;
    if (target.empty() ||
        (!NamesNetworkPort(target) && ::stat(link.c_str(), &status) != 0)) {
      continue;
    }
    known.push_back({port, "COM" + std::to_string(port) + " (" + target + ")"});
  }
  return known;
}

std::unique_ptr<SerialDevice> PosixSerialPorts::Open(
    int port, const LineSettings& settings) {
  std::string port_name = "COM" + std::to_string(port);
  if (!IsValidPortNumber(port)) {
    throw Error("open " + port_name + ": ports are numbered 1 to 255");
  }
  std::string path = DevicePath(port);
  std::string name = DescribePort(port, path);
  std::string unsupported = UnsupportedSetting(settings);
  if (!unsupported.empty()) {
    throw SystemError("open " + name + " with " + unsupported, EINVAL);
  }
  if (const std::string server = ServerOf(port); !server.empty()) {
    return OpenNetworkPort(port, server, settings, watch_list_);
  }
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    const int error = errno;
    throw OpenError(name, error, KnownPorts());
  }
  auto device =
      std::make_unique<PosixSerialDevice>(std::move(fd), name, watch_list_);
  device->TakeExclusively();
  device->ApplySettings(settings);
  return device;
}

}  // namespace zindo

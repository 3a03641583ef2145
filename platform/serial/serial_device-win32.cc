#include "platform/serial/serial_device-win32.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/serial/known_ports-win32.h"
#include "platform/serial/network_port.h"
#include "platform/serial/network_stream.h"
#include "platform/system/event_pump-win32.h"
#include "platform/system/watch_list-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// How long a write may wait for the line to take more bytes. Without flow
// control a real port always drains, so only a stuck device waits this long.
constexpr double kWriteStallLimitSeconds = 5.0;

// Reads return at once with what has arrived, so a read that takes longer
// than this means the driver misbehaves.
constexpr double kReadLimitSeconds = 1.0;

BYTE ParityCode(Parity parity) {
  switch (parity) {
    case Parity::kOdd:
      return ODDPARITY;
    case Parity::kEven:
      return EVENPARITY;
    case Parity::kMark:
      return MARKPARITY;
    case Parity::kSpace:
      return SPACEPARITY;
    case Parity::kNone:
      break;
  }
  return NOPARITY;
}

// Virtual ports (some USB and network adapters) have no modem lines and
// refuse the calls for them with one of these.
bool LacksModemLines(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

// A failure of `what` on the open port, with the system's last code.
Error PortFailure(const std::string& what) {
  const DWORD code = ::GetLastError();
  return Win32Error(what, code, OpenPortErrorKind(code));
}

UniqueHandle NewManualResetEvent(const std::string& what) {
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.valid()) throw LastWin32Error(what);
  return event;
}

// The port is opened for overlapped I/O, so that the event pump can wait
// for received bytes while reads and writes go on.
class Win32SerialDevice : public SerialDevice, public ReceiveWatch {
 public:
  Win32SerialDevice(UniqueHandle port, std::string name,
                    std::shared_ptr<WatchList> watch_list)
      : port_(std::move(port)),
        name_(std::move(name)),
        watch_list_(std::move(watch_list)),
        transfer_done_(NewManualResetEvent("open " + name_)),
        byte_received_(NewManualResetEvent("open " + name_)) {
    watch_list_->AddSerialPort(this);
  }

  ~Win32SerialDevice() override {
    watch_list_->RemoveSerialPort(this);
    EndReceiveWait();
  }

  void Configure(const LineSettings& settings);

  void SetRts(bool on) override {
    if (!::EscapeCommFunction(port_.get(), on ? SETRTS : CLRRTS)) {
      DWORD error = ::GetLastError();
      if (!LacksModemLines(error)) {
        throw Win32Error("set RTS on " + name_, error,
                         OpenPortErrorKind(error));
      }
    }
  }

  bool CarrierDetect() override {
    DWORD status = 0;
    if (::GetCommModemStatus(port_.get(), &status)) {
      return (status & MS_RLSD_ON) != 0;
    }
    DWORD error = ::GetLastError();
    if (LacksModemLines(error)) return false;
    throw Win32Error("read carrier detect of " + name_, error,
                     OpenPortErrorKind(error));
  }

  int BytesWaiting() override {
    return static_cast<int>(QueueStatus("read").cbInQue);
  }

  std::string ReadAll() override;
  void Write(const std::string& bytes) override;
  ReceiveWait ArmReceiveWait() override;

 private:
  COMSTAT QueueStatus(const std::string& operation);
  DWORD Transfer(BOOL started, OVERLAPPED& transfer,
                 const std::string& operation, double limit_seconds);
  bool ReceiveWaitStillPending();
  void EndReceiveWait();

  UniqueHandle port_;
  std::string name_;
  std::shared_ptr<WatchList> watch_list_;
  UniqueHandle transfer_done_;
  UniqueHandle byte_received_;
  // The system writes into these until the wait ends, so they live as long
  // as the device and a pending wait is ended before they go.
  OVERLAPPED receive_wait_{};
  DWORD received_events_ = 0;
  bool receive_wait_pending_ = false;
};

void Win32SerialDevice::Configure(const LineSettings& settings) {
  std::string what = "configure " + name_;
  DCB line{};
  line.DCBlength = sizeof line;
  if (!::GetCommState(port_.get(), &line)) throw LastWin32Error(what);
  MakeRawLine(settings, line);
  if (!::SetCommState(port_.get(), &line)) throw LastWin32Error(what);
  // Reads return at once with whatever has arrived; writes have no timeout
  // of their own (Write limits how long it waits).
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  if (!::SetCommTimeouts(port_.get(), &timeouts)) throw LastWin32Error(what);
  if (!::SetCommMask(port_.get(), EV_RXCHAR)) throw LastWin32Error(what);
}

// Also clears the line's error flags, which would otherwise stop nothing
// (fAbortOnError is off) but linger.
COMSTAT Win32SerialDevice::QueueStatus(const std::string& operation) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(port_.get(), &errors, &status)) {
    throw PortFailure(operation + " " + name_);
  }
  return status;
}

// Finishes an overlapped read or write that `started` began, waiting at most
// `limit_seconds`. Returns the bytes moved.
DWORD Win32SerialDevice::Transfer(BOOL started, OVERLAPPED& transfer,
                                  const std::string& operation,
                                  double limit_seconds) {
  std::string what = operation + " " + name_;
  if (!started && ::GetLastError() != ERROR_IO_PENDING) {
    throw PortFailure(what);
  }
  DWORD moved = 0;
  if (::WaitForSingleObject(transfer.hEvent, WaitMilliseconds(limit_seconds)) ==
      WAIT_TIMEOUT) {
    // The buffer must not be released while the system may still use it.
    ::CancelIo(port_.get());
    ::GetOverlappedResult(port_.get(), &transfer, &moved, TRUE);
    throw Error(what + ": the device did not respond within " +
                std::to_string(static_cast<int>(limit_seconds)) + " seconds");
  }
  if (!::GetOverlappedResult(port_.get(), &transfer, &moved, FALSE)) {
    throw PortFailure(what);
  }
  return moved;
}

// Reads only what the driver reports as queued, so no read is ever left
// waiting on an empty queue: with ReadIntervalTimeout at MAXDWORD such a read
// should return at once with nothing, but under Wine an overlapped one stays
// pending until a byte comes.
std::string Win32SerialDevice::ReadAll() {
  std::string received;
  char buffer[4096];
  for (;;) {
    DWORD queued = QueueStatus("read").cbInQue;
    if (queued == 0) return received;
    OVERLAPPED transfer{};
    transfer.hEvent = transfer_done_.get();
    DWORD wanted = queued < sizeof buffer ? queued : DWORD{sizeof buffer};
    BOOL started = ::ReadFile(port_.get(), buffer, wanted, nullptr, &transfer);
    DWORD got = Transfer(started, transfer, "read", kReadLimitSeconds);
    if (got == 0) return received;
    received.append(buffer, got);
  }
}

void Win32SerialDevice::Write(const std::string& bytes) {
  std::string_view rest = bytes;
  while (!rest.empty()) {
    OVERLAPPED transfer{};
    transfer.hEvent = transfer_done_.get();
    BOOL started =
        ::WriteFile(port_.get(), rest.data(), static_cast<DWORD>(rest.size()),
                    nullptr, &transfer);
    DWORD written =
        Transfer(started, transfer, "write", kWriteStallLimitSeconds);
    if (written == 0) {
      throw Error("write " + name_ + ": the device took nothing");
    }
    rest.remove_prefix(written);
  }
}

bool Win32SerialDevice::ReceiveWaitStillPending() {
  if (!receive_wait_pending_) return false;
  DWORD ignored = 0;
  if (!::GetOverlappedResult(port_.get(), &receive_wait_, &ignored, FALSE) &&
      ::GetLastError() == ERROR_IO_INCOMPLETE) {
    return true;
  }
  receive_wait_pending_ = false;
  return false;
}

// WaitCommEvent reports bytes that arrive after it starts; bytes that came
// earlier are counted here instead, so a yield never sleeps on unread bytes.
ReceiveWait Win32SerialDevice::ArmReceiveWait() {
  if (!ReceiveWaitStillPending()) {
    ::ResetEvent(byte_received_.get());
    receive_wait_ = OVERLAPPED{};
    receive_wait_.hEvent = byte_received_.get();
    if (::WaitCommEvent(port_.get(), &received_events_, &receive_wait_)) {
      return {true, nullptr};
    }
    // A port that cannot be watched (or has gone) is left to the caller's
    // next round, whose read reports what is wrong.
    if (::GetLastError() != ERROR_IO_PENDING) return {false, nullptr};
    receive_wait_pending_ = true;
  }
  DWORD errors = 0;
  COMSTAT status{};
  bool waiting =
      ::ClearCommError(port_.get(), &errors, &status) && status.cbInQue > 0;
  return {waiting, byte_received_.get()};
}

// Clearing the mask ends a pending wait; the cancel covers drivers that do
// not end it that way.
void Win32SerialDevice::EndReceiveWait() {
  if (!receive_wait_pending_) return;
  ::SetCommMask(port_.get(), 0);
  ::CancelIo(port_.get());
  DWORD ignored = 0;
  ::GetOverlappedResult(port_.get(), &receive_wait_, &ignored, TRUE);
  receive_wait_pending_ = false;
}

}  // namespace

std::string UnsupportedSetting(const LineSettings& settings) {
  if (settings.baud <= 0) return std::to_string(settings.baud) + " baud";
  if (settings.data_bits < 5 || settings.data_bits > 8) {
    return std::to_string(settings.data_bits) + " data bits";
  }
  if (settings.stop_bits != 1 && settings.stop_bits != 2) {
    return std::to_string(settings.stop_bits) + " stop bits";
  }
  return "";
}

ErrorKind OpenPortErrorKind(DWORD code) {
  if (code == ERROR_ACCESS_DENIED || code == ERROR_OPERATION_ABORTED) {
    return ErrorKind::kGone;
  }
  return Win32ErrorKind(code);
}

void MakeRawLine(const LineSettings& settings, DCB& line) {
  line.BaudRate = static_cast<DWORD>(settings.baud);
  line.ByteSize = static_cast<BYTE>(settings.data_bits);
  line.Parity = ParityCode(settings.parity);
  line.StopBits = settings.stop_bits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  line.fBinary = TRUE;
  line.fParity = settings.parity != Parity::kNone;
  line.fOutxCtsFlow = FALSE;
  line.fOutxDsrFlow = FALSE;
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fDsrSensitivity = FALSE;
  line.fTXContinueOnXoff = TRUE;
  line.fOutX = FALSE;
  line.fInX = FALSE;
  line.fErrorChar = FALSE;
  line.fNull = FALSE;
  // Enabled rather than handshake, so that SetRts alone moves it.
  line.fRtsControl = RTS_CONTROL_ENABLE;
  line.fAbortOnError = FALSE;
}

std::optional<std::string> PortFileLine(const std::string& directory,
                                        int port) {
  const std::filesystem::path path =
      std::filesystem::path(ToUtf16(directory)) /
      (L"zindo-com" + std::to_wstring(port) + L".txt");
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::string line;
  std::getline(file, line);
  const std::size_t begin = line.find_first_not_of(" \t\r\xEF\xBB\xBF");
  const std::size_t end = line.find_last_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  return line.substr(begin, end - begin + 1);
}

bool Win32SerialPorts::IsValidPortNumber(int port) {
  return port >= 1 && port <= 255;
}

// No sharing: a port another program holds is refused here.
UniqueHandle Win32SerialPorts::OpenComPort(int port) {
  const std::wstring path = L"\\\\.\\COM" + std::to_wstring(port);
  UniqueHandle handle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
  if (!handle.valid()) {
    const DWORD error = ::GetLastError();
    const bool missing =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    throw ComPortOpenError("open COM" + std::to_string(port), error,
                           missing ? KnownPorts() : std::vector<KnownPort>{});
  }
  return handle;
}

std::vector<KnownPort> Win32SerialPorts::KnownPorts() {
  return ComPortsOfThisPc();
}

std::optional<std::string> Win32SerialPorts::ServerOf(int port) const {
  return PortFileLine(working_directory_, port);
}

std::unique_ptr<SerialDevice> Win32SerialPorts::Open(
    int port, const LineSettings& settings) {
  std::string name = "COM" + std::to_string(port);
  if (!IsValidPortNumber(port)) {
    throw Error("open " + name + ": ports are numbered 1 to 255");
  }
  std::string unsupported = UnsupportedSetting(settings);
  if (!unsupported.empty()) {
    throw Win32Error("open " + name + " with " + unsupported,
                     ERROR_INVALID_PARAMETER);
  }
  if (std::optional<std::string> address =
          PortFileLine(working_directory_, port)) {
    try {
      const NetworkAddress server = ParseNetworkAddress(*address);
      return OpenNetworkDevice(
          server, ConnectTo(server, name + " (" + *address + ")", watch_list_),
          settings);
    } catch (const Error& error) {
      throw error.After("open " + name + " (zindo-com" + std::to_string(port) +
                        ".txt): ");
    }
  }
  UniqueHandle handle = OpenComPort(port);
  auto device =
      std::make_unique<Win32SerialDevice>(std::move(handle), name, watch_list_);
  device->Configure(settings);
  return device;
}

}  // namespace zindo

#ifndef ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_WIN32_H_
#define ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_WIN32_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial/serial_device.h"
#include "platform/system/watch_list-win32.h"
#include "platform/windows-win32.h"

namespace zindo {

// The machine's COM ports, opened as \\.\COMn so that ports above 9 work
// too, unless a file zindo-comN.txt in `working_directory` names a serial
// server for port N (its first line, "rfc2217://HOST:PORT" or
// "tcp://HOST:PORT"). An open port is registered in `watch_list` so that
// the event pump can wait for its bytes.
class Win32SerialPorts : public SerialPorts {
 public:
  Win32SerialPorts(std::string working_directory,
                   std::shared_ptr<WatchList> watch_list)
      : working_directory_(std::move(working_directory)),
        watch_list_(std::move(watch_list)) {}

  bool IsValidPortNumber(int port) override;
  std::unique_ptr<SerialDevice> Open(int port,
                                     const LineSettings& settings) override;
  // ComPortsOfThisPc: the ports of the system, not the port files.
  std::vector<KnownPort> KnownPorts() override;

  // The first line of the port file zindo-comN.txt for port `port`, without
  // surrounding blanks, or nothing when there is no such file.
  std::optional<std::string> ServerOf(int port) const;

  // Opens the system's port COMn as Open does, without configuring it:
  // throws the Error Open would (ComPortOpenError).
  UniqueHandle OpenComPort(int port);

 private:
  std::string working_directory_;
  std::shared_ptr<WatchList> watch_list_;
};

// The first line of the port file zindo-comN.txt in `directory`, without
// surrounding blanks, or nothing when there is no such file.
std::optional<std::string> PortFileLine(const std::string& directory, int port);

// The first of `settings` that no port can take ("9 data bits"), or "".
std::string UnsupportedSetting(const LineSettings& settings);

// What a failure with the system's `code` means on a port that is open. A
// USB adapter's driver, once the adapter is unplugged, fails every call with
// one of several codes, among them ERROR_ACCESS_DENIED and
// ERROR_OPERATION_ABORTED, which mean something else on an open: there
// they say that the device went away (ErrorKind::kGone).
ErrorKind OpenPortErrorKind(DWORD code);

// Puts `settings` on `line`, binary, with no flow control of any kind, DTR
// and RTS raised, and without stopping at line errors. Settings must be
// ones UnsupportedSetting passes.
void MakeRawLine(const LineSettings& settings, DCB& line);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_SERIAL_DEVICE_WIN32_H_

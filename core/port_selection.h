#ifndef ZINDO_CORE_PORT_SELECTION_H_
#define ZINDO_CORE_PORT_SELECTION_H_

#include <string>
#include <vector>

#include "link/serial_port.h"
#include "platform/desktop/logged_message_box.h"
#include "platform/files/file_system.h"
#include "platform/system/process.h"

namespace zindo {

// What the user is told when the default configuration is written.
inline constexpr char kDefaultPortMessage[] =
    "com1  ניתן לשנות בתוכנת הצמצם, ברירת המחדל כעת היא";

// What the configuration file shared with the companion selects, decided
// without showing or writing anything.
struct ConfiguredSelection {
  // Whether the configured port is selected on the port; when it is not,
  // the default configuration is due and port 1 stays selected.
  bool selected = false;
  // Why the configuration was not used, for diagnostics: unreadable, not a
  // number, a port that does not exist. None when the file is missing.
  std::vector<std::string> problems;
  // When the configured port is not selected, why, in words the log keeps
  // beside the default-port message: the file is missing, cannot be read,
  // holds no port number or names a port this PC does not have.
  std::string default_reason;
};

// Selects the port the configuration names on `port`, when it names one
// that `port` accepts.
ConfiguredSelection SelectPortFromConfiguration(FileSystem& files,
                                                SerialPort& port);

// Selects the port that the configuration file shared with the companion
// names. When the file is missing, is not stored under its upper-case name,
// cannot be read, or names a port that `port` refuses, the user is told that
// port 1 is now the default (and the log keeps why), the default
// configuration is written and port 1 stays selected. A default that cannot
// be written is reported as a diagnostic; the relay goes on with port 1.
void SelectConfiguredPort(FileSystem& files, LoggedMessageBox& message_box,
                          Process& process, SerialPort& port);

}  // namespace zindo

#endif  // ZINDO_CORE_PORT_SELECTION_H_

#ifndef ZINDO_CORE_PORT_SELECTION_H_
#define ZINDO_CORE_PORT_SELECTION_H_

#include "link/serial_port.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace zindo {

// What the user is told when the default configuration is written.
inline constexpr char kDefaultPortMessage[] =
    "com1  ניתן לשנות בתוכנת הצמצם, ברירת המחדל כעת היא";

// Selects the port that the configuration file shared with the companion
// names. When the file is missing, is not stored under its upper-case name,
// cannot be read, or names a port that `port` refuses, the user is told that
// port 1 is now the default, the default configuration is written and port 1
// stays selected. A default that cannot be written is reported as a
// diagnostic; the relay goes on with port 1.
void SelectConfiguredPort(FileSystem& files, MessageBox& message_box,
                          Process& process, SerialPort& port);

}  // namespace zindo

#endif  // ZINDO_CORE_PORT_SELECTION_H_

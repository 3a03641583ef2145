#ifndef ZINDO_EXCHANGE_CONFIG_FILE_H_
#define ZINDO_EXCHANGE_CONFIG_FILE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "link/serial_port.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace zindo {

// The title of every message box the relay shows.
inline constexpr char kAppTitle[] = "zindo-relay";

// The line written when the configuration is missing or unusable.
inline constexpr char kDefaultConfigLine[] = "1,-1,0,521,c,c:\\zindo\\,1";

// What the user is told when the default configuration is written.
inline constexpr char kDefaultPortMessage[] =
    "com1  ניתן לשנות בתוכנת הצמצם, ברירת המחדל כעת היא";

// The port number in the first field of a configuration line: a decimal
// integer within 16 bits, optionally signed, spaces or tabs around it
// allowed. Nothing else counts: an empty field, other characters or a
// number out of range give no value.
std::optional<int16_t> ParsePortField(const std::string& field);

// Selects the port that the configuration file shared with the companion
// names. When the file is missing, is not stored under its upper-case name,
// cannot be read, or names a port that `port` refuses, the user is told that
// port 1 is now the default, the default configuration is written and port 1
// stays selected. A default that cannot be written is reported as a
// diagnostic; the relay goes on with port 1.
void SelectConfiguredPort(FileSystem& files, MessageBox& message_box,
                          Process& process, SerialPort& port);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_CONFIG_FILE_H_

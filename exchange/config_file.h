#ifndef ZINDO_EXCHANGE_CONFIG_FILE_H_
#define ZINDO_EXCHANGE_CONFIG_FILE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files/file_system.h"

namespace zindo {

// The line written when the configuration is missing or unusable.
inline constexpr char kDefaultConfigLine[] = "1,-1,0,521,c,c:\\zindo\\,1";

// The port number in the first field of a configuration line: a decimal
// integer within 16 bits, optionally signed, spaces or tabs around it
// allowed. Nothing else counts: an empty field, other characters or a
// number out of range give no value.
std::optional<int16_t> ParsePortField(const std::string& field);

// What the configuration file shared with the companion says about the
// port: its number, or why there is none.
struct ConfiguredPort {
  std::optional<int16_t> number;
  // Why the file names no port, in words for a diagnostic: it cannot be
  // read, or its first field is no port number. "" when there is a number,
  // and when the file is missing or not stored under its upper-case name,
  // which is the usual first run and no fault.
  std::string problem;
};

// Reads the port number from the configuration file. Never throws Error.
ConfiguredPort ReadConfiguredPort(FileSystem& files);

// Writes the default configuration line. Throws Error on failure.
void WriteDefaultConfiguration(FileSystem& files);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_CONFIG_FILE_H_

#include "exchange/config_file.h"

#include <charconv>

#include "base/error.h"
#include "exchange/file_names.h"

namespace zindo {

namespace {

// A first field longer than this is not a port number.
constexpr size_t kMaxFieldLength = 64;

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// Reads the first field: up to the first comma or line end.
std::string ReadFirstField(FileSystem& files) {
  std::unique_ptr<SequentialFile> file = files.OpenForReading(kConfigPath);
  std::string field;
  for (std::string byte = file->Read(1); !byte.empty(); byte = file->Read(1)) {
    if (byte[0] == ',' || byte[0] == '\r' || byte[0] == '\n') break;
    if (field.size() == kMaxFieldLength) {
      throw Error(std::string(kConfigPath) + ": first field too long");
    }
    field += byte;
  }
  return field;
}

bool ConfigurationPresent(FileSystem& files) {
  try {
    return files.StoredName(kConfigLookupPath) == kConfigStoredName;
  } catch (const Error&) {
    return false;  // a look-up that fails finds nothing
  }
}

}  // namespace

std::optional<int16_t> ParsePortField(const std::string& field) {
  std::string number = Trim(field);
  const char* begin = number.data();
  const char* end = begin + number.size();
  if (begin != end && *begin == '+' && begin + 1 != end && begin[1] != '-') {
    ++begin;
  }
  int16_t value = 0;
  auto [stop, error] = std::from_chars(begin, end, value);
  if (begin == end || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

ConfiguredPort ReadConfiguredPort(FileSystem& files) {
  ConfiguredPort configured;
  if (!ConfigurationPresent(files)) return configured;
  try {
    const std::string field = ReadFirstField(files);
    configured.number = ParsePortField(field);
    if (!configured.number) {
      configured.problem =
          std::string(kConfigPath) + ": \"" + field + "\" is not a port number";
    }
  } catch (const Error& error) {
    configured.problem = error.what();
  }
  return configured;
}

void WriteDefaultConfiguration(FileSystem& files) {
  files.WriteFile(kConfigPath, TextLine(kDefaultConfigLine));
}

}  // namespace zindo

#include "tools/setup/launcher.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/error.h"
#include "platform/files/file_system-posix.h"

namespace zindo::tools {
namespace {

namespace fs = std::filesystem;

// What the Exec key reserves: an argument holding one of these is quoted.
constexpr char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
// What must be escaped inside a quoted argument.
constexpr char kEscapedInQuotes[] = "\"`$\\";

std::string ExecArgument(const std::string& word) {
  std::string argument;
  const bool quoted =
      word.empty() || word.find_first_of(kReserved) != std::string::npos;
  for (char c : word) {
    if (c == '%') argument += '%';
    if (quoted &&
        std::string_view(kEscapedInQuotes).find(c) != std::string_view::npos) {
      argument += '\\';
    }
    argument += c;
  }
  return quoted ? "\"" + argument + "\"" : argument;
}

void ReplaceAll(std::string& text, const std::string& key,
                const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos;
       at = text.find(key, at + value.size())) {
    text.replace(at, key.size(), value);
  }
}

}  // namespace

std::string DataHome(const std::string& xdg_data_home,
                     const std::string& home) {
  if (xdg_data_home.starts_with('/')) return xdg_data_home;
  return home + "/.local/share";
}

std::string ConfigHome(const std::string& xdg_config_home,
                       const std::string& home) {
  if (xdg_config_home.starts_with('/')) return xdg_config_home;
  return home + "/.config";
}

std::string AutostartPath(const std::string& config_home) {
  return config_home + "/autostart/zindo-relay.desktop";
}

std::string LauncherPath(const std::string& data_home) {
  return data_home + "/applications/zindo-relay.desktop";
}

std::string IconPath(const std::string& data_home) {
  return data_home + "/icons/hicolor/scalable/apps/zindo-relay.svg";
}

std::string StringValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

std::string ExecValue(const std::vector<std::string>& words) {
  std::string value;
  for (const std::string& word : words) {
    if (!value.empty()) value += ' ';
    value += ExecArgument(word);
  }
  return StringValue(value);
}

std::string DesktopEntry(const std::string& template_text,
                         const std::vector<std::string>& command,
                         const std::string& folder, const std::string& icon) {
  std::string entry = template_text;
  ReplaceAll(entry, "@EXEC@", ExecValue(command));
  ReplaceAll(entry, "@PATH@", StringValue(folder));
  ReplaceAll(entry, "@ICON@", StringValue(icon));
  return entry;
}

std::string LauncherFolder(const std::string& path) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("Path=")) return line.substr(5);
  }
  return "";
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  if (error)
    throw Error("create the folder of " + path + ": " + error.message());
  ReplaceNativeFile(path, bytes);
}

}  // namespace zindo::tools

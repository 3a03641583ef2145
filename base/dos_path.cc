#include "base/dos_path.h"

namespace zindo {

std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

std::string AsciiUpperCase(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool EndsWithAnyCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  text.remove_prefix(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(suffix[i])) return false;
  }
  return true;
}

char DriveLetterOf(std::string_view path) {
  if (path.size() < 2 || path[1] != ':' || !IsAsciiLetter(path[0])) return 0;
  return AsciiUpper(path[0]);
}

namespace {

// The length of "server\share\" at the start of `rest`, or 0 when either
// name is missing.
std::size_t ShareLength(std::string_view rest) {
  std::size_t end = 0;
  for (int names = 0; names < 2; ++names) {
    const std::size_t start = end;
    while (end < rest.size() && !IsDosSeparator(rest[end])) ++end;
    if (end == start) return 0;
    if (end < rest.size()) ++end;
  }
  return end;
}

}  // namespace

std::size_t WindowsPathRootLength(std::string_view path) {
  std::size_t prefix = 0;
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) prefix = 4;
  const std::string_view rest = path.substr(prefix);
  if (DriveLetterOf(rest) != 0) {
    return rest.size() >= 3 && IsDosSeparator(rest[2]) ? prefix + 3 : 0;
  }
  if (prefix != 0 && EndsWithAnyCase(rest.substr(0, 4), "UNC\\")) {
    const std::size_t share = ShareLength(rest.substr(4));
    return share == 0 ? 0 : prefix + 4 + share;
  }
  if (prefix == 0 && rest.size() > 2 && IsDosSeparator(rest[0]) &&
      IsDosSeparator(rest[1])) {
    const std::size_t share = ShareLength(rest.substr(2));
    return share == 0 ? 0 : 2 + share;
  }
  return 0;
}

DosPathParts SplitDosPath(std::string_view path) {
  DosPathParts parts;
  parts.drive = DriveLetterOf(path);
  if (parts.drive != 0) path.remove_prefix(2);
  parts.from_root = !path.empty() && IsDosSeparator(path[0]);
  while (!path.empty()) {
    std::size_t end = 0;
    while (end < path.size() && !IsDosSeparator(path[end])) ++end;
    std::string name(path.substr(0, end));
    if (!name.empty() && name != ".") parts.names.push_back(std::move(name));
    path.remove_prefix(end == path.size() ? end : end + 1);
  }
  return parts;
}

bool IsPlainDosName(std::string_view path) {
  return path.find_first_of(":\\/") == std::string_view::npos;
}

bool IsShortDosName(std::string_view name) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? "" : name.substr(dot + 1);
  return !base.empty() && base.size() <= 8 && extension.size() <= 3 &&
         extension.find('.') == std::string_view::npos &&
         name.find(' ') == std::string_view::npos;
}

int ComPortNumber(std::string_view name) {
  if (name.size() > 3 && EndsWithAnyCase(name.substr(0, 3), "COM")) {
    name.remove_prefix(3);
  }
  if (name.empty() || name.size() > 3 || name[0] == '0' ||
      name.find_first_not_of("0123456789") != std::string_view::npos) {
    return 0;
  }
  int number = 0;
  for (char digit : name) number = number * 10 + (digit - '0');
  return number <= 255 ? number : 0;
}

}  // namespace zindo

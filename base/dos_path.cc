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

namespace {

// The characters of code page 437's upper half, 0x80 to 0xFF.
constexpr char16_t kCodePage437Upper[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA,
    0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6,
    0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC,
    0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC,
    0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561,
    0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B,
    0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568,
    0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518,
    0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0,
};

void AppendUtf8(std::string& text, char16_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string FromCodePage437(std::string_view dos_text) {
  std::string text;
  for (const char byte : dos_text) {
    const auto b = static_cast<unsigned char>(byte);
    AppendUtf8(text, b < 0x80 ? b : kCodePage437Upper[b - 0x80]);
  }
  return text;
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

#ifndef ZINDO_BASE_DOS_PATH_H_
#define ZINDO_BASE_DOS_PATH_H_

#include <string>
#include <string_view>
#include <vector>

namespace zindo {

// DOS names differ in case only in the ASCII letters; every other byte,
// Hebrew included, is compared as it stands, whatever the locale.
inline bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiLowerCase(std::string text);
std::string AsciiUpperCase(std::string text);

// Whether `text` ends with `suffix`, without regard to ASCII case.
bool EndsWithAnyCase(std::string_view text, std::string_view suffix);

// `text` without the blanks at either end: spaces, tabs and line ends, as
// a line of a text file written on DOS or Linux may carry them.
std::string_view Trimmed(std::string_view text);

// DOS separates names with backslashes; the relay takes slashes too.
inline bool IsDosSeparator(char c) { return c == '\\' || c == '/'; }

// The drive that `path` starts with ("c:\zindo", "C:LOCAL6.DAT"), as an
// upper-case letter, or 0 when it starts with no drive letter and a colon.
char DriveLetterOf(std::string_view path);

// A DOS path taken apart.
struct DosPathParts {
  char drive = 0;          // Upper-case, as DriveLetterOf gives it; 0: none.
  bool from_root = false;  // The path starts, after any drive, at the root.
  std::vector<std::string> names;  // Without empty names and ".".
};
DosPathParts SplitDosPath(std::string_view path);

// Whether `path` is a name alone, with no drive and no directory.
bool IsPlainDosName(std::string_view path);

// Whether DOS can show `name` as it stands: at most eight characters, then
// at most one dot and three more, and no space.
bool IsShortDosName(std::string_view name);

// `dos_text`, bytes in code page 437 (the code page DOS and DOSBox use
// unless told otherwise), as UTF-8. The control bytes below 0x20 stay as
// they are: in a name they are no glyphs.
std::string FromCodePage437(std::string_view dos_text);

// How long the root of the absolute Windows path `path` is, the part that
// names a drive or a network share and no folder on it: 3 for "C:\x", 15
// for "\\server\share\x", the same after the "\\?\" prefix ("\\?\C:\",
// "\\?\UNC\server\share\"). 0 for a path that is not absolute: "x\y",
// "C:x", or "\x" on the current drive.
std::size_t WindowsPathRootLength(std::string_view path);

// The number N of a serial port named "COMN" (in any case) or "N" alone:
// 1 to 255, written without leading zeros. 0 for anything else.
int ComPortNumber(std::string_view name);

}  // namespace zindo

#endif  // ZINDO_BASE_DOS_PATH_H_

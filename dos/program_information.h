#ifndef ZINDO_DOS_PROGRAM_INFORMATION_H_
#define ZINDO_DOS_PROGRAM_INFORMATION_H_

#include <string>

namespace zindo {

// What a DOS program information file (.PIF) says about the program to
// start. The texts are bytes in the DOS code page, kept as the file holds
// them.
struct ProgramInformation {
  std::string program;          // e.g. "C:\ZINDO\ZINDO.EXE" or "ZINDO.BAT"
  std::string start_directory;  // "" when the file names none
  std::string parameters;       // the command tail, "" when none
  // The window's title, without the blanks that pad it; "" when none.
  std::string title = "";
};

// The DOS section of a PIF, which every PIF starts with; the sections that
// later Windows versions added follow it.
namespace pif_layout {
inline constexpr std::size_t kChecksum = 0x01;
inline constexpr std::size_t kTitle = 0x02;
inline constexpr std::size_t kTitleSize = 30;
inline constexpr std::size_t kMaximumMemory = 0x20;  // KB, little-endian
inline constexpr std::size_t kMinimumMemory = 0x22;  // KB, little-endian
inline constexpr std::size_t kProgram = 0x24;
inline constexpr std::size_t kProgramSize = 63;
inline constexpr std::size_t kStartDirectory = 0x65;
inline constexpr std::size_t kStartDirectorySize = 64;
inline constexpr std::size_t kParameters = 0xA5;
inline constexpr std::size_t kParametersSize = 64;
inline constexpr std::size_t kDosSectionSize = 0x171;
// The size PIF editors write: the DOS section and the extension sections.
inline constexpr std::size_t kUsualFileSize = 545;
}  // namespace pif_layout

// Reads the fields of the PIF `bytes`, read from `file_name` (which only
// names the file in messages). Throws Error, naming the file and the fault,
// when the file is shorter than the DOS section, a field is not terminated
// within its length, the program is not a DOS path to a .COM, .EXE or .BAT
// file, or the start directory is not a DOS path.
ProgramInformation ParseProgramInformation(const std::string& bytes,
                                           const std::string& file_name);

// Whether `bytes` are a program information file, by their content, however
// the file is marked: they read as one, or carry the signature that PIF
// editors write after the DOS section (so that a PIF with a bad field is
// still taken for one, and its fault named).
bool IsProgramInformation(const std::string& bytes);

// A 545-byte PIF that starts `information`. Throws Error when a field does
// not fit or would not read back.
std::string BuildProgramInformation(const ProgramInformation& information);

// Where a DOS program starts, beside the folder where the relay works.
struct StartFolder {
  std::string start;    // the start folder as the program names it, UTF-8
  std::string working;  // the relay's folder as the program names it; ""
                        // when the program cannot reach it
  std::string reason;   // why a folder could not be looked at, or ""
  bool same = false;    // the program starts where the relay works
  // Whether it does could not be told (`reason` says why): a folder that
  // could not be read, or a short name that DOSBox makes up itself.
  bool uncertain = false;
};

// The folder that a program with `start_directory` (from its PIF) starts
// in when started in `working` (a path with its drive): the start directory
// itself when it has a drive, else taken from `working`, which is where a
// program without one starts; "." and ".." resolved.
std::string StartFolderFrom(const std::string& start_directory,
                            const std::string& working);

// Whether the DOS paths `a` and `b` name one folder, as DOS compares names:
// without regard to ASCII case or a backslash at the end.
bool SameDosFolder(const std::string& a, const std::string& b);

// Whether `path` is a DOS path: an optional drive ("C:"), then names
// separated by backslashes, with no control characters, forward slashes,
// wildcards, quotes or redirections, and no empty name in the middle.
bool IsDosPath(const std::string& path);

}  // namespace zindo

#endif  // ZINDO_DOS_PROGRAM_INFORMATION_H_

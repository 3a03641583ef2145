#include "dos/program_information.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/dos_path.h"
#include "base/error.h"

namespace zindo {
namespace {

namespace layout = pif_layout;

// Memory a DOS program may have, as PIF editors fill it in by default.
constexpr std::uint16_t kDefaultMaximumKb = 640;
constexpr std::uint16_t kDefaultMinimumKb = 128;

// The extension header that follows the DOS section. Programs that read PIFs
// look for its signature to know the file for one; it points at no further
// section (0xFFFF) and describes the DOS section before it.
constexpr char kExtensionSignature[] = "MICROSOFT PIFEX";
constexpr std::uint16_t kLastSection = 0xFFFF;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Characters that cannot be part of a DOS file name and that DOS or its
// command interpreter would read as something else.
bool IsForbiddenInPath(unsigned char c) {
  return IsControl(c) ||
         std::string_view("/*?\"<>|").find(c) != std::string_view::npos;
}

bool HasProgramExtension(const std::string& path) {
  return EndsWithAnyCase(path, ".COM") || EndsWithAnyCase(path, ".EXE") ||
         EndsWithAnyCase(path, ".BAT");
}

// The zero-terminated field at `offset`, which must end within `size`.
std::string ReadField(const std::string& bytes, std::size_t offset,
                      std::size_t size, const std::string& field,
                      const std::string& file_name) {
  std::string_view area(bytes.data() + offset, size);
  std::size_t end = area.find('\0');
  if (end == std::string_view::npos) {
    throw Error(file_name + ": the " + field + " field (" +
                std::to_string(size) + " bytes at offset " +
                std::to_string(offset) + ") has no terminating zero");
  }
  return std::string(area.substr(0, end));
}

void PutField(std::string& bytes, std::size_t offset, std::size_t size,
              const std::string& value, const std::string& field) {
  if (value.size() >= size) {
    throw Error("the " + field + " \"" + value + "\" is " +
                std::to_string(value.size()) + " bytes; at most " +
                std::to_string(size - 1) + " fit");
  }
  std::copy(value.begin(), value.end(), bytes.begin() + offset);
}

void PutWord(std::string& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

// The title shown for the program: the one given, else its file name;
// padded with spaces, as PIF editors write it.
std::string TitleFor(const ProgramInformation& information) {
  const std::string& program = information.program;
  std::size_t name_start = program.find_last_of("\\:");
  std::string title =
      !information.title.empty()
          ? information.title
          : AsciiUpperCase(program.substr(
                name_start == std::string::npos ? 0 : name_start + 1));
  if (title.size() > layout::kTitleSize) {
    throw Error("the title \"" + title + "\" is " +
                std::to_string(title.size()) + " bytes; at most " +
                std::to_string(layout::kTitleSize) + " fit");
  }
  title.resize(layout::kTitleSize, ' ');
  return title;
}

// The title field, which is padded with spaces (or ends at a zero) rather
// than terminated.
std::string ReadTitle(const std::string& bytes) {
  std::string title = bytes.substr(layout::kTitle, layout::kTitleSize);
  title.resize(std::min(title.find('\0'), title.size()));
  return std::string(Trimmed(title));
}

// The sum of the DOS section's bytes after the checksum byte itself.
unsigned char Checksum(const std::string& bytes) {
  unsigned sum = 0;
  for (std::size_t i = layout::kTitle; i < layout::kDosSectionSize; ++i) {
    sum += static_cast<unsigned char>(bytes[i]);
  }
  return static_cast<unsigned char>(sum & 0xFF);
}

void PutExtensionHeader(std::string& bytes) {
  std::size_t at = layout::kDosSectionSize;
  std::copy_n(kExtensionSignature, sizeof kExtensionSignature,
              bytes.begin() + at);
  at += 16;
  PutWord(bytes, at, kLastSection);
  PutWord(bytes, at + 2, 0);  // The DOS section starts the file...
  PutWord(bytes, at + 4, layout::kDosSectionSize);  // ...and is this long.
}

}  // namespace

bool IsDosPath(const std::string& path) {
  std::string_view rest = path;
  if (DriveLetterOf(rest) != 0) rest.remove_prefix(2);
  if (rest.find(':') != std::string_view::npos) return false;
  if (rest.find("\\\\") != std::string_view::npos) return false;
  return std::none_of(rest.begin(), rest.end(), [](char c) {
    return IsForbiddenInPath(static_cast<unsigned char>(c));
  });
}

ProgramInformation ParseProgramInformation(const std::string& bytes,
                                           const std::string& file_name) {
  if (bytes.size() < layout::kDosSectionSize) {
    throw Error(file_name + ": not a program information file: " +
                std::to_string(bytes.size()) + " bytes, shorter than the " +
                std::to_string(layout::kDosSectionSize) + "-byte DOS section");
  }
  ProgramInformation information{
      ReadField(bytes, layout::kProgram, layout::kProgramSize, "program",
                file_name),
      ReadField(bytes, layout::kStartDirectory, layout::kStartDirectorySize,
                "start directory", file_name),
      ReadField(bytes, layout::kParameters, layout::kParametersSize,
                "parameters", file_name),
      ReadTitle(bytes)};
  const std::string& program = information.program;
  if (program.empty() || !IsDosPath(program) || program.back() == '\\' ||
      !HasProgramExtension(program)) {
    throw Error(file_name + ": the program \"" + program +
                "\" is not a DOS path to a .COM, .EXE or .BAT file");
  }
  if (!IsDosPath(information.start_directory)) {
    throw Error(file_name + ": the start directory \"" +
                information.start_directory + "\" is not a DOS path");
  }
  for (char c : information.parameters) {
    if (IsControl(static_cast<unsigned char>(c))) {
      throw Error(file_name + ": the parameters hold a control character");
    }
  }
  return information;
}

bool IsProgramInformation(const std::string& bytes) {
  if (bytes.size() < layout::kDosSectionSize) return false;
  if (bytes.compare(layout::kDosSectionSize, sizeof kExtensionSignature - 1,
                    kExtensionSignature) == 0) {
    return true;
  }
  try {
    ParseProgramInformation(bytes, "");
    return true;
  } catch (const Error&) {
    return false;
  }
}

std::string BuildProgramInformation(const ProgramInformation& information) {
  std::string bytes(layout::kUsualFileSize, '\0');
  PutField(bytes, layout::kProgram, layout::kProgramSize, information.program,
           "program");
  PutField(bytes, layout::kStartDirectory, layout::kStartDirectorySize,
           information.start_directory, "start directory");
  PutField(bytes, layout::kParameters, layout::kParametersSize,
           information.parameters, "parameters");
  std::string title = TitleFor(information);
  std::copy(title.begin(), title.end(), bytes.begin() + layout::kTitle);
  PutWord(bytes, layout::kMaximumMemory, kDefaultMaximumKb);
  PutWord(bytes, layout::kMinimumMemory, kDefaultMinimumKb);
  bytes[layout::kChecksum] = static_cast<char>(Checksum(bytes));
  PutExtensionHeader(bytes);
  // What is written must read back, so a bad path fails here and not when
  // the relay starts the program.
  ParseProgramInformation(bytes, "the new program information file");
  return bytes;
}

namespace {

// `path` with "." and ".." resolved, and no empty names.
std::string WithoutDots(const std::string& path) {
  const std::size_t root = DriveLetterOf(path) != 0 ? 2 : 0;
  std::string resolved = path.substr(0, root);
  if (path.compare(root, 1, "\\") == 0) resolved += '\\';
  const std::size_t top = resolved.size();
  std::vector<std::string> names;
  for (std::size_t start = root; start < path.size();) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    const std::string name = path.substr(start, end - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  for (const std::string& name : names) {
    if (resolved.size() > top) resolved += '\\';
    resolved += name;
  }
  return resolved;
}

std::string FolderKey(const std::string& path) {
  std::string key = AsciiUpperCase(path);
  while (key.ends_with('\\') && key.size() > 3) key.pop_back();
  return key;
}

}  // namespace

std::string StartFolderFrom(const std::string& start_directory,
                            const std::string& working) {
  if (start_directory.empty()) return working;
  if (DriveLetterOf(start_directory) != 0) return WithoutDots(start_directory);
  if (start_directory.starts_with('\\')) {
    return WithoutDots(working.substr(0, 2) + start_directory);
  }
  return WithoutDots(working + "\\" + start_directory);
}

bool SameDosFolder(const std::string& a, const std::string& b) {
  return FolderKey(a) == FolderKey(b);
}

}  // namespace zindo

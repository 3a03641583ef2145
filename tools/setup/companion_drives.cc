#include "tools/setup/companion_drives.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <sstream>
#include <system_error>

#include "base/dos_path.h"
#include "base/error.h"
#include "dos/dosbox_command_line.h"
#include "dos/program_information.h"
#include "exchange/file_names.h"
#include "platform/files/drives-posix.h"
#include "platform/files/file_system-posix.h"
#include "tools/pseudo_terminal.h"
#include "tools/setup/launcher.h"

namespace zindo::tools {
namespace {

namespace fs = std::filesystem;
using Verdict = Finding::Verdict;

// DOSBox keeps its own programs there; it never shows a folder of ours.
constexpr char kDosboxOwnDrive = 'Z';

// One thing zindo-setup did in the prefix: made a link or a folder, or set
// a folder or file aside to make a link in its place.
struct Made {
  enum class Kind { kLink, kFolder, kAside };
  Kind kind;
  std::string path;    // the link, the folder, or where what was set aside is
  std::string target;  // what the link names; the set-aside entry's own name
};

constexpr const char* kKindWords[] = {"link", "folder", "aside"};

// A path on one line of the list is escaped as a desktop entry's string
// value (StringValue): backslash, newline, tab and carriage return.
std::string Unescaped(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      plain += text[i];
      continue;
    }
    const char next = text[++i];
    plain += next == 'n'   ? '\n'
             : next == 't' ? '\t'
             : next == 'r' ? '\r'
                           : next;
  }
  return plain;
}

// "KIND<TAB>path<TAB>target", a line each; a line of any other form is not
// ours to act on.
std::vector<Made> ReadMadeList(const std::string& prefix) {
  std::vector<Made> made;
  std::string text;
  try {
    text = ReadWholeFile(MadeListPath(prefix));
  } catch (const Error&) {
    return made;  // nothing made yet
  }
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) {
      fields.push_back(Unescaped(field));
    }
    for (const Made::Kind kind :
         {Made::Kind::kLink, Made::Kind::kFolder, Made::Kind::kAside}) {
      if (fields.size() == 3 && fields[0] == kKindWords[int(kind)]) {
        made.push_back({kind, fields[1], fields[2]});
      }
    }
  }
  return made;
}

void WriteMadeList(const std::string& prefix, const std::vector<Made>& made) {
  const std::string path = MadeListPath(prefix);
  if (made.empty()) {
    ::unlink(path.c_str());
    return;
  }
  std::string text;
  for (const Made& entry : made) {
    text += std::string(kKindWords[int(entry.kind)]) + "\t" +
            StringValue(entry.path) + "\t" + StringValue(entry.target) + "\n";
  }
  ReplaceNativeFile(path, text);
}

bool IsRealFolder(const std::string& path) {
  struct stat entry;
  return ::lstat(path.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode);
}

// Whether `made` is still as zindo-setup made it: no one has pointed the
// link elsewhere or put something else in its place.
bool IsStillAsMade(const Made& made) {
  switch (made.kind) {
    case Made::Kind::kLink:
      return LinkTarget(made.path) == made.target;
    case Made::Kind::kFolder:
      return IsRealFolder(made.path);
    case Made::Kind::kAside:
      break;
  }
  std::error_code error;
  return fs::exists(fs::symlink_status(made.path, error));
}

// Undoes `made`, still as made, and says what was done; "" when nothing
// was. A folder goes only when empty, and what was set aside goes back
// only when its name is free again: what others put there stays.
std::string Undo(const Made& made) {
  if (made.kind == Made::Kind::kAside) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(made.target, error)) ||
        ::rename(made.path.c_str(), made.target.c_str()) != 0) {
      return "";
    }
    return "put back " + made.target + " (set aside as " + made.path + ")";
  }
  if (::remove(made.path.c_str()) != 0) return "";
  return made.kind == Made::Kind::kLink
             ? "removed " + made.path + " (it led to " + made.target + ")"
             : "";
}

// Where `path` leads, every link followed; "" when nowhere.
std::string Resolved(const std::string& path) {
  std::error_code error;
  const fs::path resolved = fs::canonical(path, error);
  return error ? "" : resolved.string();
}

// The entry of `directory` that DOS would take for `name`, which DOS
// compares without regard to ASCII case; "" when there is none.
std::string EntryNamed(const std::string& directory, const std::string& name) {
  try {
    return CaseBlindName(directory, name, "list " + directory);
  } catch (const Error&) {
    return "";  // a folder that cannot be listed holds no name to find
  }
}

bool IsPlainAscii(const std::string& name) {
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return c > ' ' && c < 0x7F; });
}

// The DOS program that the companion's autoexec.pif describes; nothing when
// there is no such file or it describes none.
std::optional<ProgramInformation> CompanionProgram(const std::string& folder) {
  const std::string name = EntryNamed(folder, kCompanionPif);
  if (name.empty()) return std::nullopt;
  try {
    return ParseProgramInformation(ReadWholeFile(folder + "/" + name), name);
  } catch (const Error&) {
    return std::nullopt;  // a program or script of this system's own
  }
}

// Renames `path` to the first free name of "<path>.old", "<path>.old2",
// ... and returns that name. Throws Error when the system refuses.
std::string SetAside(const std::string& path) {
  for (int n = 1;; ++n) {
    const std::string aside = path + ".old" + (n == 1 ? "" : std::to_string(n));
    std::error_code error;
    if (fs::exists(fs::symlink_status(aside, error))) continue;
    if (::rename(path.c_str(), aside.c_str()) != 0) {
      throw SystemError("rename " + path + " to " + aside, errno);
    }
    return aside;
  }
}

// Makes the prefix reach one companion folder, minding what it made before.
class FolderMapper {
 public:
  FolderMapper(const std::string& prefix, const std::string& folder, bool force)
      : prefix_(prefix),
        folder_(folder),
        force_(force),
        before_(ReadMadeList(prefix)) {}

  void MapStartFolder(const std::string& start);
  void MapOwnDrive();
  // Takes away what was made before and is no longer needed, and keeps the
  // list of what is.
  std::vector<Finding> Finish();
  void Problem(const std::string& text, const std::string& fix) {
    findings_.push_back({Verdict::kBlocking, text, fix});
  }

 private:
  // What zindo-setup made at `path`, while it is still as made.
  std::optional<Made> MadeBefore(const std::string& path) const;
  void KeepIfMade(const std::string& path);
  std::string EnsureFolder(const std::string& path);
  std::string DriveFolder(char letter);
  void EnsureLink(const std::string& link, const std::string& dos_name);

  std::string prefix_;
  std::string folder_;
  bool force_;
  std::vector<Made> before_;
  std::vector<Made> now_;
  std::vector<Finding> findings_;
};

std::optional<Made> FolderMapper::MadeBefore(const std::string& path) const {
  for (const Made& made : before_) {
    if (made.path == path && IsStillAsMade(made)) return made;
  }
  return std::nullopt;
}

void FolderMapper::KeepIfMade(const std::string& path) {
  if (const std::optional<Made> made = MadeBefore(path)) now_.push_back(*made);
}

// The folder `path`, made when missing; "" when a file stands there.
std::string FolderMapper::EnsureFolder(const std::string& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) {
    KeepIfMade(path);
    return path;
  }
  if (fs::exists(fs::symlink_status(path, error))) {
    Problem(path + " is there, and is not a folder",
            "move it away, then run zindo-setup again");
    return "";
  }
  fs::create_directories(path, error);
  if (error) throw Error("create " + path + ": " + error.message());
  now_.push_back({Made::Kind::kFolder, path, ""});
  return path;
}

// The folder that drive `letter` shows, made in the prefix when no drive
// has that letter yet: drive_c for C:, as the relay takes it, and for
// another letter drive_x, which the link dosdevices/x: shows. "" when the
// drive leads nowhere.
std::string FolderMapper::DriveFolder(char letter) {
  const char lower = AsciiLower(letter);
  const std::string link =
      prefix_ + "/dosdevices/" + std::string(1, lower) + ":";
  std::error_code error;
  if (fs::exists(fs::symlink_status(link, error))) {
    KeepIfMade(link);
    if (!fs::is_directory(link, error)) {
      Problem(std::string(1, letter) + ": is " + link +
                  ", which leads to no folder",
              "point it at a folder, or remove it and run zindo-setup again");
      return "";
    }
    return link;
  }
  const std::string folder =
      EnsureFolder(prefix_ + "/drive_" + std::string(1, lower));
  if (letter == 'C' || folder.empty()) return folder;
  const std::string target = "../drive_" + std::string(1, lower);
  try {
    PointLinkAt(link, target, Replace::kAnything);
  } catch (const std::system_error& refused) {
    throw Error(refused.what());
  }
  now_.push_back({Made::Kind::kLink, link, target});
  return folder;
}

// Makes `link` lead to the companion's folder, unless what stands there is
// not zindo-setup's to replace. `dos_name` is the name DOS knows it by.
void FolderMapper::EnsureLink(const std::string& link,
                              const std::string& dos_name) {
  const std::optional<Made> made = MadeBefore(link);
  if (Resolved(link) == folder_) {
    if (made) now_.push_back(*made);
    findings_.push_back({Verdict::kGood, dos_name + " is " + folder_, ""});
    return;
  }
  const std::optional<std::string> target = LinkTarget(link);
  std::error_code error;
  const bool taken = fs::exists(fs::symlink_status(link, error));
  const std::string where = dos_name + " (" + link + ")";
  if (taken && !made && !force_) {
    const std::string what =
        target ? " leads to " + *target + ", a link" : " is a folder or file";
    const std::string how = target ? "" : " (what is there is set aside)";
    Problem(where + what + " zindo-setup did not make; it is kept",
            "run zindo-setup --desktop FOLDER --force to point it at the "
            "companion's folder" +
                how);
    return;
  }
  // A folder or file is never deleted: it is kept under another name.
  const std::string aside = taken && !target ? SetAside(link) : "";
  if (!aside.empty()) now_.push_back({Made::Kind::kAside, aside, link});
  try {
    PointLinkAt(link, folder_, Replace::kAnything);
  } catch (const std::system_error& refused) {
    throw Error(refused.what());
  }
  now_.push_back({Made::Kind::kLink, link, folder_});
  findings_.push_back(
      {Verdict::kGood,
       "mapped " + dos_name + " to " + folder_ + ", as the link " + link +
           (target ? "; it led to " + *target : "") +
           (aside.empty() ? "" : "; what was there is now " + aside),
       ""});
}

void FolderMapper::MapStartFolder(const std::string& start) {
  const char letter = DriveLetterOf(start);
  const std::string dos_name = StartFolderFrom(start, "") +
                               " (the start folder in " + kCompanionPif + ")";
  if (letter == kDosboxOwnDrive) {
    Problem(dos_name + " is on Z:, which DOSBox keeps for its own programs",
            "give the companion a start folder on another drive "
            "(zindo-mkpif --dir)");
    return;
  }
  const std::vector<std::string> names =
      SplitDosPath(StartFolderFrom(start, "")).names;
  for (const std::string& name : names) {
    if (!IsShortDosName(name) || !IsPlainAscii(name)) {
      Problem(dos_name + ": \"" + name + "\" is not a plain DOS 8.3 name",
              "give the companion a start folder of plain 8.3 names "
              "(zindo-mkpif --dir)");
      return;
    }
  }
  if (names.empty()) {
    EnsureLink(
        prefix_ + "/dosdevices/" + std::string(1, AsciiLower(letter)) + ":",
        dos_name);
    return;
  }
  std::string directory = DriveFolder(letter);
  for (std::size_t i = 0; i + 1 < names.size() && !directory.empty(); ++i) {
    const std::string stored = EntryNamed(directory, names[i]);
    directory = EnsureFolder(
        directory + "/" + (stored.empty() ? AsciiLowerCase(names[i]) : stored));
  }
  if (directory.empty()) return;
  const std::string stored = EntryNamed(directory, names.back());
  EnsureLink(directory + "/" +
                 (stored.empty() ? AsciiLowerCase(names.back()) : stored),
             dos_name);
}

void FolderMapper::MapOwnDrive() {
  PosixFileSystem files(prefix_, folder_);
  PosixDrives native(files);
  std::vector<DosDrive> drives;
  for (const auto& [letter, directory] : files.MappedDrives()) {
    if (letter == kDosboxOwnDrive) continue;
    // A drive made for another folder goes away, unless it is this one's.
    const std::optional<Made> made = MadeBefore(directory);
    if (made && made->kind == Made::Kind::kLink &&
        Resolved(directory) != folder_) {
      continue;
    }
    drives.push_back({letter, directory});
  }
  std::string dos_path;
  try {
    dos_path = DosPathOf(drives, folder_, native);
  } catch (const Error&) {
    // Not under DOS names: a drive of its own shows it.
  }
  if (!dos_path.empty()) {
    for (const DosDrive& drive : drives) KeepIfMade(drive.native_directory);
    findings_.push_back({Verdict::kGood, folder_ + " is " + dos_path, ""});
    return;
  }
  for (char letter = 'D'; letter < kDosboxOwnDrive; ++letter) {
    const std::string link =
        prefix_ + "/dosdevices/" + std::string(1, AsciiLower(letter)) + ":";
    std::error_code error;
    if (!fs::exists(fs::symlink_status(link, error)) || MadeBefore(link)) {
      EnsureLink(link, std::string(1, letter) + ": (" + kCompanionPif +
                           " names no start folder)");
      return;
    }
  }
  Problem("every drive letter of " + prefix_ + "/dosdevices is taken",
          "remove a drive you no longer need, then run zindo-setup again");
}

std::vector<Finding> FolderMapper::Finish() {
  const auto kept = [&](const std::string& path) {
    return std::any_of(now_.begin(), now_.end(),
                       [&](const Made& now) { return now.path == path; });
  };
  std::vector<Made> asides;
  for (auto made = before_.rbegin(); made != before_.rend(); ++made) {
    if (kept(made->path) || !IsStillAsMade(*made)) continue;
    // What was set aside stays aside while zindo-setup's link has its name.
    if (made->kind == Made::Kind::kAside && kept(made->target)) {
      asides.insert(asides.begin(), *made);
      continue;
    }
    const std::string done = Undo(*made);
    if (!done.empty()) findings_.push_back({Verdict::kGood, done, ""});
  }
  // Undone in the reverse order: the link first, then what it stood for.
  asides.insert(asides.end(), now_.begin(), now_.end());
  WriteMadeList(prefix_, asides);
  return findings_;
}

}  // namespace

std::string MadeListPath(const std::string& prefix) {
  return prefix + "/zindo-setup-made.txt";
}

std::vector<Finding> MapCompanionFolder(const std::string& prefix,
                                        const std::string& folder, bool force) {
  FolderMapper mapper(prefix, folder, force);
  try {
    if (const std::optional<ProgramInformation> program =
            CompanionProgram(folder)) {
      if (DriveLetterOf(program->start_directory) != 0) {
        mapper.MapStartFolder(program->start_directory);
      } else {
        mapper.MapOwnDrive();
      }
    }
  } catch (const Error& refused) {
    // What was made up to here is listed, so that --remove finds it.
    mapper.Problem(
        std::string("the companion's folder is not mapped: ") + refused.what(),
        "make the folder it names yours and writable, then run "
        "zindo-setup again");
  }
  return mapper.Finish();
}

std::vector<std::string> RemoveCompanionMappings(const std::string& prefix) {
  std::vector<std::string> said;
  const std::vector<Made> made = ReadMadeList(prefix);
  for (auto entry = made.rbegin(); entry != made.rend(); ++entry) {
    if (!IsStillAsMade(*entry)) {
      if (entry->kind == Made::Kind::kLink) {
        said.push_back("kept " + entry->path + ": changed since it was made");
      }
      continue;
    }
    const std::string done = Undo(*entry);
    if (!done.empty()) said.push_back(done);
  }
  WriteMadeList(prefix, {});
  return said;
}

}  // namespace zindo::tools

#include "dos/dosbox_command_line.h"

#include <algorithm>
#include <optional>

#include "base/dos_path.h"
#include "base/error.h"
#include "dos/idle_helper.h"

namespace zindo {
namespace {

// DOSBox keeps its own programs (MOUNT, RESCAN, ...) on Z:, so no directory
// can be mounted there.
constexpr char kDosboxOwnDrive = 'Z';

// The part of `path` below `root`, "" for the root itself, or nothing when
// `root` does not hold `path`.
std::optional<std::string> BelowRoot(const std::string& path,
                                     const std::string& root) {
  if (root.ends_with('/')) {
    if (path.starts_with(root)) return path.substr(root.size());
    return std::nullopt;
  }
  if (path == root) return "";
  if (path.starts_with(root + "/")) return path.substr(root.size() + 1);
  return std::nullopt;
}

// `native` (a relative native path) as DOS names after `dos_root`.
std::string DosNames(const std::string& dos_root, const std::string& native,
                     const std::string& full_native) {
  std::string dos = dos_root;
  std::size_t start = 0;
  while (start < native.size()) {
    std::size_t end = std::min(native.find('/', start), native.size());
    std::string name = native.substr(start, end - start);
    // DOSBox shows a native name as it stands only when it is short.
    if (!IsShortDosName(name)) {
      throw Error("DOSBox cannot reach " + full_native + ": \"" + name +
                  "\" is not a DOS 8.3 name");
    }
    if (dos.back() != '\\') dos += '\\';
    dos += name;
    start = end + 1;
  }
  return dos;
}

bool IsDriveMapped(const std::vector<DosDrive>& drives, char letter) {
  return std::any_of(drives.begin(), drives.end(),
                     [&](const DosDrive& d) { return d.letter == letter; });
}

// What MOUNT says goes nowhere: the companion's window is not the place
// for the relay's folders.
constexpr char kUnseen[] = " > NUL";

// `cached` false: DOSBox reads the directory afresh at each look-up, so the
// companion sees a new file at once, with no key and no helper.
std::string MountCommand(const DosDrive& drive, bool cached = true) {
  if (drive.native_directory.find('"') != std::string::npos) {
    throw Error("DOSBox cannot mount " + drive.native_directory +
                ": its name holds a double quote");
  }
  return std::string("mount ") + (cached ? "" : "-nocachedir ") + drive.letter +
         " \"" + drive.native_directory + "\"" + kUnseen;
}

// Whether `path` holds a colon past a drive letter's, which some lines'
// MOUNT takes for the mark of an archive to mount ("games.zip:/dos").
bool HasColonPastDrive(const std::string& path) {
  const std::size_t from = DriveLetterOf(path) != 0 ? 2 : 0;
  return path.find(':', from) != std::string::npos;
}

// The directory of `drive` as the line can mount it: where MOUNT takes a
// colon for an archive's, a prefix's drive (a link named "c:") is mounted as
// the directory the link leads to.
DosDrive Mountable(const DosDrive& drive, const DosboxLineTraits& traits,
                   Drives& native_drives) {
  if (!traits.mount_takes_colon_for_archive ||
      !HasColonPastDrive(drive.native_directory)) {
    return drive;
  }
  DosDrive resolved = {drive.letter,
                       native_drives.ResolvedDirectory(drive.native_directory)};
  if (HasColonPastDrive(resolved.native_directory)) {
    throw Error(traits.name + std::string(" cannot mount ") +
                resolved.native_directory +
                ": it would take the colon in its name for an archive's");
  }
  return resolved;
}

// The commands that make `directory` (a DOS path) the current drive and
// directory.
std::vector<std::string> ChangeTo(const std::string& directory) {
  std::vector<std::string> commands = {directory.substr(0, 2)};
  std::string rest = directory.substr(2);
  // A newly mounted drive starts at its root.
  if (!rest.empty() && rest != "\\") commands.push_back("cd " + rest);
  return commands;
}

// The program's start directory with its drive: as the PIF gives it, or the
// working directory, which also anchors a start directory without a drive.
std::vector<std::string> StartDirectoryCommands(const DosboxRun& run,
                                                Drives& native_drives) {
  const std::string& start = run.program.start_directory;
  if (DriveLetterOf(start) != 0) return ChangeTo(start);
  std::string working =
      DosPathOf(run.drives, run.working_directory, native_drives);
  if (working.empty()) {
    throw Error("the companion's working directory " + run.working_directory +
                " is on no drive that the prefix maps, so DOSBox cannot "
                "start there; map a drive that holds it (a network drive on "
                "Windows, a dosdevices/x: link on Linux) or "
                "give the PIF a start directory");
  }
  std::vector<std::string> commands = ChangeTo(working);
  if (!start.empty()) commands.push_back("cd " + start);
  return commands;
}

// A Wine prefix maps Z: to the whole file system, but DOSBox shows its own
// programs there: a path on Z: names no folder of this machine.
void CheckDriveMapped(const DosboxRun& run, const std::string& dos_path,
                      const std::string& what) {
  char letter = DriveLetterOf(dos_path);
  if (letter == kDosboxOwnDrive) {
    throw Error("the " + what + " " + dos_path +
                " is on drive Z:, which is DOSBox's own drive (its programs, "
                "MOUNT and the like) and never shows a folder of this "
                "machine; name the companion's folder on C: or on a drive "
                "that the prefix maps to it");
  }
  if (letter != 0 && !IsDriveMapped(run.drives, letter)) {
    throw Error("the " + what + " " + dos_path + " is on drive " + letter +
                ":, which the prefix does not map");
  }
}

bool IsBatchFile(const ProgramInformation& program) {
  return EndsWithAnyCase(program.program, ".BAT");
}

// Without CALL, a batch file would end the command list with it. A line
// whose flush loses the relay's list of commands (see the idle helper) runs
// it in a shell of its own instead, so that the helper can tell the batch's
// programs from the end of the shell that ran them.
std::string ProgramCommand(const DosboxLineTraits& traits,
                           const ProgramInformation& program) {
  std::string prefix;
  if (IsBatchFile(program)) {
    prefix = traits.batch_in_own_shell ? "command /c " : "call ";
  }
  std::string command = prefix + program.program;
  if (!program.parameters.empty()) command += " " + program.parameters;
  return command;
}

}  // namespace

std::string DosPathOf(const std::vector<DosDrive>& drives,
                      const std::string& native_directory,
                      Drives& native_drives) {
  std::string target = native_drives.ResolvedDirectory(native_directory);
  const DosDrive* best = nullptr;
  std::string best_root, best_rest;
  for (const DosDrive& drive : drives) {
    if (drive.letter == kDosboxOwnDrive) continue;  // never mounted
    std::string root = native_drives.ResolvedDirectory(drive.native_directory);
    std::optional<std::string> rest = BelowRoot(target, root);
    if (rest && (best == nullptr || root.size() > best_root.size())) {
      best = &drive;
      best_root = root;
      best_rest = *rest;
    }
  }
  if (best == nullptr) return "";
  return DosNames(std::string(1, best->letter) + ":\\", best_rest,
                  native_directory);
}

namespace {

// Whether a name is one DOSBox may make up for a long name that it cannot
// show as it stands: its start, a tilde and a number ("ZINDOO~1").
bool MayBeDosboxShortName(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [](const std::string& name) {
    const std::size_t tilde = name.find('~');
    if (tilde == std::string::npos) return false;
    const std::string number =
        name.substr(tilde + 1, name.find('.') - tilde - 1);
    return !number.empty() &&
           number.find_first_not_of("0123456789") == std::string::npos;
  });
}

// The start folder found as DOSBox finds it, below the directory its drive
// shows, and compared with the working directory, both resolved: a link on
// the way (drive_c/zindo leading to the user's documents) shows DOSBox the
// working directory under a name that is not its own. A short name that is
// not there may still be one DOSBox makes up for a long name, where the
// working directory has no DOS name of its own; the system's own short
// names ("ZIND~ULC") are not DOSBox's.
void CompareAsDosboxFindsIt(const DosboxRun& run, Drives& native_drives,
                            StartFolder& folder) {
  const DosPathParts parts = SplitDosPath(folder.start);
  const auto drive =
      std::find_if(run.drives.begin(), run.drives.end(),
                   [&](const DosDrive& d) { return d.letter == parts.drive; });
  if (drive == run.drives.end() || drive->letter == kDosboxOwnDrive) return;
  std::string names;
  for (const std::string& name : parts.names) {
    names += (names.empty() ? "" : "/") + name;
  }
  try {
    folder.same =
        native_drives.ResolvedAsListed(drive->native_directory, names) ==
        native_drives.ResolvedDirectory(run.working_directory);
    if (folder.same && folder.working.empty()) folder.working = folder.start;
  } catch (const Error& failure) {
    folder.uncertain =
        !failure.Is(ErrorKind::kNotFound) ||
        (folder.working.empty() && MayBeDosboxShortName(parts.names));
    const bool short_name = folder.start.find('~') != std::string::npos;
    if ((folder.uncertain || short_name) && folder.reason.empty()) {
      folder.reason = failure.what();
    }
  }
}

}  // namespace

StartFolder DosboxStartFolder(const DosboxRun& run, Drives& native_drives) {
  StartFolder folder;
  try {
    folder.working =
        DosPathOf(run.drives, run.working_directory, native_drives);
  } catch (const Error& failure) {
    folder.reason = failure.what();
  }
  folder.start = StartFolderFrom(
      native_drives.FromDosCodePage(run.program.start_directory),
      folder.working);
  // A folder may show on more than one drive: C: and a drive mapped to a
  // folder below it, say.
  for (const DosDrive& drive : run.drives) {
    if (drive.letter == kDosboxOwnDrive || folder.same) continue;
    try {
      folder.same = SameDosFolder(
          folder.start,
          DosPathOf({drive}, run.working_directory, native_drives));
    } catch (const Error&) {
      // This drive does not show it under DOS names.
    }
  }
  if (!folder.same) CompareAsDosboxFindsIt(run, native_drives, folder);
  if (folder.same) folder.reason.clear();
  return folder;
}

namespace {

// The last drive letter before DOSBox's own that no drive uses, or 0.
char FreeDriveLetter(const std::vector<DosDrive>& drives) {
  for (char letter = kDosboxOwnDrive - 1; letter >= 'C'; --letter) {
    if (!IsDriveMapped(drives, letter)) return letter;
  }
  return 0;
}

// Mounts the helper's folder, loads the helper (it stays resident) and
// takes the drive away again. With /E the helper types EXIT when DOSBox has
// lost the `exit` that follows the companion; a batch file's next program
// would read those keys, so a batch run in the relay's own shell goes
// without.
std::vector<std::string> IdleHelperCommands(const DosboxRun& run) {
  const char letter = FreeDriveLetter(run.drives);
  if (run.idle_helper_folder.empty() || letter == 0) return {};
  const std::string drive(1, letter);
  const bool batch_in_this_shell =
      IsBatchFile(run.program) && !run.line->batch_in_own_shell;
  const std::string load =
      drive + ":\\" + kIdleHelperName + (batch_in_this_shell ? "" : " /E");
  return {MountCommand({letter, run.idle_helper_folder}), load,
          "mount -u " + drive + kUnseen};
}

// The line's options, then the one that makes it end at the `exit` that
// follows the companion.
std::vector<std::string> LineOptions(const DosboxLineTraits& traits) {
  std::vector<std::string> options = traits.options;
  if (*traits.exit_option != '\0') options.push_back(traits.exit_option);
  return options;
}

}  // namespace

std::vector<std::string> DosboxArguments(const DosboxRun& run,
                                         const std::string& config_path,
                                         Drives& native_drives) {
  CheckDriveMapped(run, run.program.start_directory, "start directory");
  CheckDriveMapped(run, run.program.program, "program");
  const DosboxLineTraits& traits = *run.line;
  std::vector<std::string> commands;
  for (const DosDrive& drive : run.drives) {
    if (drive.letter == kDosboxOwnDrive) continue;
    commands.push_back(MountCommand(Mountable(drive, traits, native_drives),
                                    /*cached=*/!traits.mounts_uncached));
  }
  for (std::string& command : IdleHelperCommands(run)) {
    commands.push_back(std::move(command));
  }
  for (std::string& command : StartDirectoryCommands(run, native_drives)) {
    commands.push_back(std::move(command));
  }
  commands.push_back("cls");
  commands.push_back(ProgramCommand(traits, run.program));
  commands.push_back("exit");
  std::vector<std::string> arguments = LineOptions(traits);
  arguments.push_back("-conf");
  arguments.push_back(config_path);
  for (std::string& command : commands) {
    arguments.push_back("-c");
    arguments.push_back(std::move(command));
  }
  return arguments;
}

std::vector<std::string> DosboxEnvironment(bool has_display,
                                           bool keys_need_window_messages) {
  if (!has_display) return {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
  if (!keys_need_window_messages) return {};
  return {"SDL_VIDEODRIVER=windib"};
}

}  // namespace zindo

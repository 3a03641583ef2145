#include "dos/dosbox.h"

#include <algorithm>
#include <optional>

#include "base/dos_path.h"
#include "base/error.h"
#include "dos/idle_helper.h"

namespace zindo {
namespace {

// The settings DOSBox starts from; the user's own file may change them.
// (IPX is off unless a user turns it on, in every line.)
constexpr char kDefaultSettings[] = R"([midi]
mpu401=none
mididevice=none
)";

// What the relay depends on, set after the user's settings so that they
// always hold. The machine's serial ports stay closed: the relay owns the
// line to the device, and a port DOSBox opened could be the machine's
// console. DOSBox uses its built-in key map when it cannot open the mapper
// file, and this path can never be opened, for reading or for saving: so
// Ctrl+F4 always empties DOSBox's directory cache, whatever a user's own
// mapper file binds it to.
constexpr char kFixedSettings[] = R"([serial]
serial1=disabled
serial2=disabled
serial3=disabled
serial4=disabled
[sdl]
mapperfile=/dev/null/zindo-relay-uses-the-built-in-key-map
)";

// DOSBox-X slows its disks down to a floppy's or an old hard disk's speed
// by default; every look-up of the companion's would wait for it.
constexpr char kDosboxXFixedSettings[] = R"([dos]
hard drive data rate limit=0
floppy drive data rate limit=0
)";

// DOSBox Staging keeps the commands typed at its prompt in the user's own
// folder; the relay's commands are not the user's. It also mounts drives of
// its own as it starts (Y: with its DOS tools, and any drives/ folder beside
// it): the relay mounts the companion's drives and the idle helper's itself.
constexpr char kStagingFixedSettings[] = R"([dosbox]
automount=false
[dos]
shell_history_file=
)";

// Without a display SDL has nothing that draws with the graphics card, and
// DOSBox Staging would end at once looking for it.
constexpr char kStagingWithoutDisplay[] = R"([sdl]
texture_renderer=software
)";

// DOSBox keeps its own programs (MOUNT, RESCAN, ...) on Z:, so no directory
// can be mounted there.
constexpr char kDosboxOwnDrive = 'Z';

// The section of the user's DOSBox settings that is the relay's own.
constexpr char kRelaySection[] = "[zindo-relay]";

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

// `cached` false: DOSBox-X reads the directory afresh at each look-up, so
// the companion sees a new file at once, with no key and no helper.
std::string MountCommand(const DosDrive& drive, bool cached = true) {
  if (drive.native_directory.find('"') != std::string::npos) {
    throw Error("DOSBox cannot mount " + drive.native_directory +
                ": its name holds a double quote");
  }
  return std::string("mount ") + (cached ? "" : "-nocachedir ") + drive.letter +
         " \"" + drive.native_directory + "\"";
}

// Whether `path` holds a colon past a drive letter's, which DOSBox-X takes
// for the mark of an archive to mount ("games.zip:/dos").
bool HasColonPastDrive(const std::string& path) {
  const std::size_t from = DriveLetterOf(path) != 0 ? 2 : 0;
  return path.find(':', from) != std::string::npos;
}

// The directory of `drive` as DOSBox-X can mount it: a prefix's drive is a
// link named "c:", whose target it mounts instead.
DosDrive MountableByDosboxX(const DosDrive& drive, Programs& places) {
  if (!HasColonPastDrive(drive.native_directory)) return drive;
  DosDrive resolved = {drive.letter,
                       places.ResolvedDirectory(drive.native_directory)};
  if (HasColonPastDrive(resolved.native_directory)) {
    throw Error("DOSBox-X cannot mount " + resolved.native_directory +
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
                                                Programs& places) {
  const std::string& start = run.program.start_directory;
  if (DriveLetterOf(start) != 0) return ChangeTo(start);
  std::string working = DosPathOf(run.drives, run.working_directory, places);
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

void CheckDriveMapped(const DosboxRun& run, const std::string& dos_path,
                      const std::string& what) {
  char letter = DriveLetterOf(dos_path);
  if (letter != 0 && !IsDriveMapped(run.drives, letter)) {
    throw Error("the " + what + " " + dos_path + " is on drive " + letter +
                ":, which the prefix does not map");
  }
}

bool IsBatchFile(const ProgramInformation& program) {
  return EndsWithAnyCase(program.program, ".BAT");
}

// Without CALL, a batch file would end the command list with it. DOSBox
// Staging runs one in a shell of its own instead: the relay's flush loses
// its list of commands (see the idle helper), and the helper must tell the
// batch's programs from the end of the shell that ran them.
std::string ProgramCommand(DosboxLine line, const ProgramInformation& program) {
  std::string prefix;
  if (IsBatchFile(program)) {
    prefix = line == DosboxLine::kStaging ? "command /c " : "call ";
  }
  std::string command = prefix + program.program;
  if (!program.parameters.empty()) command += " " + program.parameters;
  return command;
}

}  // namespace

std::string DosPathOf(const std::vector<DosDrive>& drives,
                      const std::string& native_directory, Programs& places) {
  std::string target = places.ResolvedDirectory(native_directory);
  const DosDrive* best = nullptr;
  std::string best_root, best_rest;
  for (const DosDrive& drive : drives) {
    std::string root = places.ResolvedDirectory(drive.native_directory);
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

StartFolder DosboxStartFolder(const DosboxRun& run, Programs& places) {
  StartFolder folder;
  try {
    folder.working = DosPathOf(run.drives, run.working_directory, places);
  } catch (const Error& failure) {
    folder.reason = failure.what();
  }
  folder.start = StartFolderFrom(run.program.start_directory, folder.working);
  // A folder may show on more than one drive: C: and a drive mapped to a
  // folder below it, say.
  for (const DosDrive& drive : run.drives) {
    if (drive.letter == kDosboxOwnDrive || folder.same) continue;
    try {
      folder.same = SameDosFolder(
          folder.start, DosPathOf({drive}, run.working_directory, places));
    } catch (const Error&) {
      // This drive does not show it under DOS names.
    }
  }
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
      IsBatchFile(run.program) && run.line != DosboxLine::kStaging;
  const std::string load =
      drive + ":\\" + kIdleHelperName + (batch_in_this_shell ? "" : " /E");
  return {MountCommand({letter, run.idle_helper_folder}), load,
          "mount -u " + drive};
}

// What each line needs on its command line before the settings: DOSBox-X
// would otherwise ask for a folder first and log its start; DOSBox Staging
// would read and write the user's own settings, and would not end at an `exit`
// given as it starts.
std::vector<std::string> LineOptions(DosboxLine line) {
  switch (line) {
    case DosboxLine::kDosboxX:
      // It also logs its whole start on standard error, which the relay
      // shares.
      return {"-nopromptfolder", "-nolog"};
    case DosboxLine::kStaging:
      return {"--noprimaryconf", "--nolocalconf", "--exit"};
    case DosboxLine::kDosbox:
      break;
  }
  return {};
}

std::string LowerFileName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return AsciiLowerCase(slash == std::string::npos ? path
                                                   : path.substr(slash + 1));
}

}  // namespace

const char* DosboxLineName(DosboxLine line) {
  switch (line) {
    case DosboxLine::kDosboxX:
      return "DOSBox-X";
    case DosboxLine::kStaging:
      return "DOSBox Staging";
    case DosboxLine::kDosbox:
      break;
  }
  return "DOSBox";
}

// Each line answers -version before it reads any setting, but DOSBox
// Staging, which would first make the user a settings file of its own.
std::vector<std::string> DosboxVersionQuery(const std::string& path) {
  return {path, "-version", "--noprimaryconf"};
}

DosboxLine DosboxLineOf(const std::string& path, const std::string& version) {
  const std::string said = AsciiLowerCase(version);
  if (said.find("dosbox-x") != std::string::npos) return DosboxLine::kDosboxX;
  if (said.find("staging") != std::string::npos) return DosboxLine::kStaging;
  if (!said.empty()) return DosboxLine::kDosbox;
  // Unasked (a Windows program has no console to answer on): its name, or
  // the folder its installer chose.
  std::string name = LowerFileName(path);
  if (name.ends_with(".exe")) name.resize(name.size() - 4);
  if (name == "dosbox-x") return DosboxLine::kDosboxX;
  const std::string folder = AsciiLowerCase(
      path.substr(0, std::min(path.size(), path.find_last_of("/\\"))));
  if (name == "dosbox-staging" ||
      LowerFileName(folder).find("staging") != std::string::npos) {
    return DosboxLine::kStaging;
  }
  return DosboxLine::kDosbox;
}

bool DosboxNeedsSettingsInAFolder(DosboxLine line) {
  return line == DosboxLine::kStaging;
}

bool DosboxNeedsFlushKey(DosboxLine line) {
  return line != DosboxLine::kDosboxX;
}

std::vector<std::string> DosboxArguments(const DosboxRun& run,
                                         const std::string& config_path,
                                         Programs& places) {
  CheckDriveMapped(run, run.program.start_directory, "start directory");
  CheckDriveMapped(run, run.program.program, "program");
  std::vector<std::string> commands;
  for (const DosDrive& drive : run.drives) {
    if (drive.letter == kDosboxOwnDrive) continue;
    if (run.line == DosboxLine::kDosboxX) {
      commands.push_back(
          MountCommand(MountableByDosboxX(drive, places), /*cached=*/false));
    } else {
      commands.push_back(MountCommand(drive));
    }
  }
  for (std::string& command : IdleHelperCommands(run)) {
    commands.push_back(std::move(command));
  }
  for (std::string& command : StartDirectoryCommands(run, places)) {
    commands.push_back(std::move(command));
  }
  commands.push_back(ProgramCommand(run.line, run.program));
  commands.push_back("exit");
  std::vector<std::string> arguments = LineOptions(run.line);
  arguments.push_back("-conf");
  arguments.push_back(config_path);
  for (std::string& command : commands) {
    arguments.push_back("-c");
    arguments.push_back(std::move(command));
  }
  return arguments;
}

namespace {

// The lines of `text`, without their LF (a CR before it stays).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The section that `line` opens, in lower case, or nothing when it opens
// none.
std::optional<std::string> SectionOpened(const std::string& line) {
  const std::string trimmed = Trimmed(line);
  if (!trimmed.starts_with('[')) return std::nullopt;
  return AsciiLowerCase(trimmed.substr(0, trimmed.find(']') + 1));
}

// The user's settings without their [autoexec] section, since the relay
// starts the companion through its own commands, and without the relay's
// own section, which is not DOSBox's.
std::string WithoutRelaySections(const std::string& settings) {
  std::string kept;
  bool skipped = false;
  for (const std::string& line : Lines(settings)) {
    if (std::optional<std::string> section = SectionOpened(line)) {
      skipped = *section == "[autoexec]" || *section == kRelaySection;
    }
    if (!skipped) kept += line + "\n";
  }
  return kept;
}

// `value` as a yes or a no, as DOSBox's own settings write them.
std::optional<bool> Switch(const std::string& value) {
  const std::string lower = AsciiLowerCase(value);
  for (const char* yes : {"true", "on", "yes", "1"}) {
    if (lower == yes) return true;
  }
  for (const char* no : {"false", "off", "no", "0"}) {
    if (lower == no) return false;
  }
  return std::nullopt;
}

void ReadRelaySetting(const std::string& line, RelaySettings& settings) {
  const std::string trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed.starts_with('#')) return;
  const std::size_t equals = trimmed.find('=');
  const std::string name = AsciiLowerCase(Trimmed(trimmed.substr(0, equals)));
  const std::string value =
      equals == std::string::npos ? "" : Trimmed(trimmed.substr(equals + 1));
  const std::optional<bool> on = Switch(value);
  if (name == "idlehelper" && on) {
    settings.idle_helper = *on;
  } else if (name == "idlehelper") {
    settings.problems.push_back("idlehelper=" + value +
                                " is neither true nor false");
  } else {
    settings.problems.push_back("\"" + trimmed + "\" is not a setting of " +
                                kRelaySection + " (idlehelper=true|false)");
  }
}

}  // namespace

std::string DosboxConfig(DosboxLine line, const std::string& user_settings,
                         bool has_display) {
  std::string settings = std::string(kDefaultSettings) +
                         WithoutRelaySections(user_settings) + kFixedSettings;
  if (line == DosboxLine::kDosboxX) settings += kDosboxXFixedSettings;
  if (line == DosboxLine::kStaging) {
    settings += kStagingFixedSettings;
    if (!has_display) settings += kStagingWithoutDisplay;
  }
  return settings;
}

RelaySettings ReadRelaySettings(const std::string& user_settings) {
  RelaySettings settings;
  bool in_relay_section = false;
  for (const std::string& line : Lines(user_settings)) {
    if (std::optional<std::string> section = SectionOpened(line)) {
      in_relay_section = *section == kRelaySection;
    } else if (in_relay_section) {
      ReadRelaySetting(line, settings);
    }
  }
  return settings;
}

std::vector<std::string> DosboxEnvironment(bool has_display,
                                           bool keys_need_window_messages) {
  if (!has_display) return {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
  if (!keys_need_window_messages) return {};
  return {"SDL_VIDEODRIVER=windib"};
}

}  // namespace zindo

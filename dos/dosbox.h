#ifndef ZINDO_DOS_DOSBOX_H_
#define ZINDO_DOS_DOSBOX_H_

#include <string>
#include <vector>

#include "dos/program_information.h"
#include "platform/programs/programs.h"

namespace zindo {

// A DOS drive and the native directory it shows.
struct DosDrive {
  char letter;  // Upper case.
  std::string native_directory;
};

// The lines of DOSBox that the relay knows, each started as it needs.
enum class DosboxLine {
  kDosbox,   // DOSBox 0.74, and any program the relay does not know
  kDosboxX,  // DOSBox-X: mounts without a directory cache
  kStaging,  // DOSBox Staging
};

// The line's name, as its makers write it: "DOSBox-X".
const char* DosboxLineName(DosboxLine line);

// The arguments that make the DOSBox at `path` say its version without
// starting (nor writing its user's settings), for DosboxLineOf.
std::vector<std::string> DosboxVersionQuery(const std::string& path);

// The line of the DOSBox at `path`, from the first line it wrote when asked
// its version (`version`, "" when it could not be asked), its file name, and
// the folder it was installed in.
DosboxLine DosboxLineOf(const std::string& path, const std::string& version);

// What DOSBox is to do: show `drives`, load the idle helper from
// `idle_helper_folder` unless it is "", change to the program's start
// directory (or, when it names none, to the DOS path of
// `working_directory`), run the program and end.
struct DosboxRun {
  DosboxLine line = DosboxLine::kDosbox;
  std::vector<DosDrive> drives;
  std::string working_directory;  // Native, absolute.
  ProgramInformation program;
  std::string idle_helper_folder;  // Native; it holds kIdleHelperName.
};

// The DOS path of the native directory `native_directory` ("C:\ZINDO\WORK")
// on the drive whose directory holds it most closely, or "" when no drive
// holds it; `places` resolves the directories, following links. Throws
// Error when a directory cannot be resolved, or when a name on the way is
// not a DOS 8.3 name, which DOSBox would show under another name.
std::string DosPathOf(const std::vector<DosDrive>& drives,
                      const std::string& native_directory, Programs& places);

// Where the program of `run` starts in DOSBox (see StartFolderFrom), beside
// `run.working_directory` as DOSBox shows it: the same folder when any drive
// DOSBox mounts shows the working directory under the start folder's name.
StartFolder DosboxStartFolder(const DosboxRun& run, Programs& places);

// DOSBox's command line for `run`, without the program name: the settings
// come only from `config_path` (see DosboxConfig), then the DOS commands.
// The idle helper's folder is shown on a drive letter of its own only while
// the helper loads, so the companion never sees it. Throws Error when the
// start directory cannot be reached or a directory cannot be mounted.
std::vector<std::string> DosboxArguments(const DosboxRun& run,
                                         const std::string& config_path,
                                         Programs& places);

// The settings DOSBox of `line` runs with, in place of any file of its own:
// the relay's defaults, then `user_settings` (the text of a DOSBox
// configuration file, whose [autoexec] and [zindo-relay] sections are left
// out), then what the relay depends on: no serial port of the machine is
// opened, Ctrl+F4 empties the directory cache (DOSBox's built-in key map),
// the disks are as fast as the host's, and nothing is drawn with what needs
// a display when `has_display` is false. Each line gets only settings it
// knows, so that none warns.
std::string DosboxConfig(DosboxLine line, const std::string& user_settings,
                         bool has_display);

// Whether the DOSBox of `line` must read its settings from a file in a
// folder: DOSBox Staging follows the path it is given to the file's own,
// which a pipe (/dev/fd/N) does not have, and would then run without them.
bool DosboxNeedsSettingsInAFolder(DosboxLine line);

// The name of the settings file in the folder handed to DOSBox.
inline constexpr char kSettingsFileName[] = "dosbox.conf";

// Whether the DOSBox of `line` needs Ctrl+F4 to see the files the relay
// creates: DOSBox-X reads the directories afresh at each look-up (its
// drives are mounted without a cache), and binds no key to emptying it.
bool DosboxNeedsFlushKey(DosboxLine line);

// What the user asks of the relay itself in the [zindo-relay] section of
// their DOSBox configuration file:
//   [zindo-relay]
//   idlehelper=false
struct RelaySettings {
  bool idle_helper = true;
  // A line for each setting that was not understood and left as it was.
  std::vector<std::string> problems;
};
RelaySettings ReadRelaySettings(const std::string& user_settings);

// The function key that, held with Control, empties DOSBox's directory
// cache in its built-in key map (see DosboxConfig).
inline constexpr int kFlushCacheFunctionKey = 4;

// The environment variables DOSBox gets on top of the relay's: without a
// display to show a window on, SDL draws and plays to nothing. Where keys
// sent to its window reach only a program that reads its window's messages
// (`keys_need_window_messages`, see Desktop), SDL 1.2 must use its windib
// driver, the one that does: its directx driver takes the keyboard from
// DirectInput, and only while its window has the focus.
std::vector<std::string> DosboxEnvironment(bool has_display,
                                           bool keys_need_window_messages);

}  // namespace zindo

#endif  // ZINDO_DOS_DOSBOX_H_

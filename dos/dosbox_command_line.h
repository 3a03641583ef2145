#ifndef ZINDO_DOS_DOSBOX_COMMAND_LINE_H_
#define ZINDO_DOS_DOSBOX_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "dos/dosbox_line.h"
#include "dos/program_information.h"
#include "platform/files/drives.h"

namespace zindo {

// A DOS drive and the native directory it shows.
struct DosDrive {
  char letter;  // Upper case.
  std::string native_directory;
};

// What DOSBox is to do: show `drives`, load the idle helper from
// `idle_helper_folder` unless it is "", change to the program's start
// directory (or, when it names none, to the DOS path of
// `working_directory`), run the program and end. `line` is the row of the
// DOSBox's line, looked up once and handed on.
struct DosboxRun {
  const DosboxLineTraits* line = &TraitsOf(kBaseDosboxLine);
  std::vector<DosDrive> drives;
  std::string working_directory;  // Native, absolute.
  ProgramInformation program;
  std::string idle_helper_folder;  // Native; it holds kIdleHelperName.
};

// The DOS path of the native directory `native_directory` ("C:\ZINDO\WORK")
// on the drive whose directory holds it most closely, or "" when no drive
// but Z: holds it (DOSBox's own, never mounted); `native_drives` resolves
// the directories, following links. Throws
// Error when a directory cannot be resolved, or when a name on the way is
// not a DOS 8.3 name, which DOSBox would show under another name.
std::string DosPathOf(const std::vector<DosDrive>& drives,
                      const std::string& native_directory,
                      Drives& native_drives);

// Where the program of `run` starts in DOSBox (see StartFolderFrom; its
// names decoded from the DOS code page), beside `run.working_directory` as
// DOSBox shows it: the same folder when any drive DOSBox mounts shows the
// working directory under the start folder's name, or when the start
// folder, found as DOSBox finds names, resolves to the working directory
// (through a link, say). Uncertain where it may be a short name that DOSBox
// makes up, or a folder on the way could not be read.
StartFolder DosboxStartFolder(const DosboxRun& run, Drives& native_drives);

// DOSBox's command line for `run`, without the program name: the line's
// options, the settings only from `config_path` (see DosboxConfig), then the
// DOS commands. The idle helper's folder is shown on a drive letter of its
// own only while the helper loads, so the companion never sees it. The
// commands run unseen (the settings turn their echo off), say nothing, and
// clear the screen before the program: the companion starts on a screen of
// its own, as if it were the only program. Throws
// Error when the start directory cannot be reached or a directory cannot be
// mounted.
std::vector<std::string> DosboxArguments(const DosboxRun& run,
                                         const std::string& config_path,
                                         Drives& native_drives);

// The environment variables DOSBox gets on top of the relay's: without a
// display to show a window on, SDL draws and plays to nothing. Where keys
// sent to its window reach only a program that reads its window's messages
// (`keys_need_window_messages`, see Desktop), SDL 1.2 must use its windib
// driver, the one that does: its directx driver takes the keyboard from
// DirectInput, and only while its window has the focus.
std::vector<std::string> DosboxEnvironment(bool has_display,
                                           bool keys_need_window_messages);

}  // namespace zindo

#endif  // ZINDO_DOS_DOSBOX_COMMAND_LINE_H_

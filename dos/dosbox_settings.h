#ifndef ZINDO_DOS_DOSBOX_SETTINGS_H_
#define ZINDO_DOS_DOSBOX_SETTINGS_H_

#include <string>
#include <vector>

#include "dos/dosbox_line.h"
#include "dos/program_information.h"

namespace zindo {

// The name of a DOSBox settings file: the user's own, among the user's
// files, and the one the relay hands to a DOSBox that reads its settings
// from a folder.
inline constexpr char kSettingsFileName[] = "dosbox.conf";

// The settings DOSBox of the line `line` runs with, in place of any file of
// its own: the relay's defaults, then `user_settings` (the text of a DOSBox
// configuration file, whose [autoexec] and [zindo-relay] sections are left
// out), then what the relay depends on: no serial port of the machine is
// opened, Ctrl+F4 empties the directory cache (DOSBox's built-in key map),
// the line's own fixed settings (those without a display too when
// `has_display` is false), its window named `title` (see WindowTitle) where
// the line can name it, and the commands DOSBox is given run without echo.
std::string DosboxConfig(const DosboxLineTraits& line,
                         const std::string& user_settings, bool has_display,
                         const std::string& title);

// The title of the companion's window: the PIF's own when it is printable
// ASCII (DOSBox's title bar takes no DOS code page), else its program's
// name without the folder.
std::string WindowTitle(const ProgramInformation& program);

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

}  // namespace zindo

#endif  // ZINDO_DOS_DOSBOX_SETTINGS_H_

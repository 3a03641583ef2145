#ifndef ZINDO_TOOLS_SETUP_LAUNCHER_H_
#define ZINDO_TOOLS_SETUP_LAUNCHER_H_

#include <string>
#include <vector>

namespace zindo::tools {

// Where the user's own menu entries and icons live: $XDG_DATA_HOME, or
// ~/.local/share when it is not set.
std::string DataHome(const std::string& xdg_data_home, const std::string& home);

// Where the user's own settings live, the autostart entries among them:
// $XDG_CONFIG_HOME, or ~/.config when it is not set.
std::string ConfigHome(const std::string& xdg_config_home,
                       const std::string& home);

// The entry that starts the relay when the user logs in, under
// `config_home`: the launcher's twin, which the desktop reads at login.
std::string AutostartPath(const std::string& config_home);

// The launcher's file and its icon's, under `data_home`.
std::string LauncherPath(const std::string& data_home);
std::string IconPath(const std::string& data_home);

// `words` as the Exec key of a desktop entry wants them: each quoted when
// it holds a character the key reserves, '%' doubled, and the whole
// escaped as every string value is.
std::string ExecValue(const std::vector<std::string>& words);

// `text` escaped as a desktop entry's string value.
std::string StringValue(const std::string& text);

// The launcher: `template_text` with @EXEC@, @PATH@ and @ICON@ filled in.
std::string DesktopEntry(const std::string& template_text,
                         const std::vector<std::string>& command,
                         const std::string& folder, const std::string& icon);

// The folder that the launcher at `path` starts in ("" when there is none).
std::string LauncherFolder(const std::string& path);

// Writes `bytes` to `path` whole (written aside, then renamed), making the
// missing directories on the way. Throws Error when the system refuses.
void WriteWhole(const std::string& path, const std::string& bytes);

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_SETUP_LAUNCHER_H_

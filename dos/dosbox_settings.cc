#include "dos/dosbox_settings.h"

#include <algorithm>
#include <optional>

#include "base/dos_path.h"

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

// Last, as the section runs to the end of the file: every line turns the
// echo of the commands it is given off when this is its first line, before
// the first of them.
constexpr char kCommandsUnseen[] = R"([autoexec]
@echo off
)";

// The section of the user's DOSBox settings that is the relay's own.
constexpr char kRelaySection[] = "[zindo-relay]";

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

// The section that `line` opens, in lower case, or nothing when it opens
// none.
std::optional<std::string> SectionOpened(const std::string& line) {
  const std::string trimmed(Trimmed(line));
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
  const std::string trimmed(Trimmed(line));
  if (trimmed.empty() || trimmed.starts_with('#')) return;
  const std::size_t equals = trimmed.find('=');
  const std::string name =
      AsciiLowerCase(std::string(Trimmed(trimmed.substr(0, equals))));
  const std::string value =
      equals == std::string::npos
          ? ""
          : std::string(Trimmed(trimmed.substr(equals + 1)));
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

std::string DosboxConfig(const DosboxLineTraits& line,
                         const std::string& user_settings, bool has_display,
                         const std::string& title) {
  std::string settings = std::string(kDefaultSettings) +
                         WithoutRelaySections(user_settings) + kFixedSettings;
  settings += line.fixed_settings;
  if (!has_display) settings += line.settings_without_display;
  std::string named = line.title_settings;
  const std::size_t at = named.find("{}");
  if (at != std::string::npos) named.replace(at, 2, title);
  return settings + named + kCommandsUnseen;
}

std::string WindowTitle(const ProgramInformation& program) {
  const std::string& title = program.title;
  const bool plain =
      !title.empty() && std::all_of(title.begin(), title.end(), [](char c) {
        return c >= ' ' && c <= '~' && c != '"';
      });
  if (plain) return title;
  const std::size_t folder_end = program.program.find_last_of("\\:");
  return folder_end == std::string::npos
             ? program.program
             : program.program.substr(folder_end + 1);
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

}  // namespace zindo

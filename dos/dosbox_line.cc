#include "dos/dosbox_line.h"

#include <algorithm>

#include "base/dos_path.h"

namespace zindo {
namespace {

// DOSBox-X slows its disks down to a floppy's or an old hard disk's speed
// by default; every look-up of the companion's would wait for it. It asks
// before its window is closed while a program runs, whatever the user's
// settings say: closing it under the companion loses the companion's work.
constexpr char kDosboxXFixedSettings[] = R"([dos]
hard drive data rate limit=0
floppy drive data rate limit=0
[dosbox]
quit warning=auto
)";

// Its title puts the companion's name first; without its speed and
// version, "ORDERS - DOSBox-X" is all the title bar holds.
constexpr char kDosboxXTitleSettings[] = R"([dosbox]
title={}
[sdl]
showbasic=false
)";

// DOSBox Staging keeps the commands typed at its prompt in the user's own
// folder; the relay's commands are not the user's. It also mounts drives of
// its own as it starts (Y: with its DOS tools, and any drives/ folder beside
// it): the relay mounts the companion's drives and the idle helper's itself.
// Its welcome banner stays hidden.
constexpr char kStagingFixedSettings[] = R"([dosbox]
automount=false
startup_verbosity=quiet
[dos]
shell_history_file=
)";

// Without a display SDL has nothing that draws with the graphics card, and
// DOSBox Staging would end at once looking for it.
constexpr char kStagingWithoutDisplay[] = R"([sdl]
texture_renderer=software
)";

// The companion's name stands in its title bar for the running program's.
constexpr char kStagingTitleSettings[] = R"([sdl]
window_titlebar=program="{}"
)";

}  // namespace

// DOSBox-X first: it shows the companion every new file at once, with or
// without a display. DOSBox last, since other lines install a `dosbox` too.
//
// DOSBox-X would ask for a folder first, show its logo and banner, and
// log its whole start on standard error, which the relay shares; it is never
// sent the flush key, which it binds to swapping disks. DOSBox Staging follows
// the path it is given to its settings file to the file's own, which a pipe
// does not have; would read and write the user's own settings, and make the
// user a settings file of its own even when only asked its version; and would
// stay at its prompt after an `exit` given as it starts. Its flush loses the
// relay's list of commands (see the idle helper), so a batch file runs in a
// shell whose end the helper can tell from the end of the batch's programs.
std::span<const DosboxLineTraits> DosboxLines() {
  static const DosboxLineTraits kLines[] = {
      {.line = DosboxLine::kDosboxX,
       .name = "DOSBox-X",
       .program = "dosbox-x",
       .version_word = "dosbox-x",
       .installed =
           Programs::Installed{
               "dosbox-x", {"DOSBox-X"}, {{"Software\\DOSBox-X", "Path"}}},
       .folder_word = "",
       .asked = false,
       .version_query_options = {},
       .options = {"-nopromptfolder", "-nolog", "-fastlaunch"},
       .exit_option = "",
       .fixed_settings = kDosboxXFixedSettings,
       .settings_without_display = "",
       .title_settings = kDosboxXTitleSettings,
       .mounts_uncached = true,
       .flush_key_empties_cache = false,
       .mount_takes_colon_for_archive = true,
       .settings_in_folder = false,
       .batch_in_own_shell = false},
      {.line = DosboxLine::kStaging,
       .name = "DOSBox Staging",
       .program = "dosbox-staging",
       .version_word = "staging",
       .installed = Programs::Installed{"dosbox",
                                        {"DOSBox Staging"},
                                        {{"Software\\dosbox-staging", "Path"}}},
       .folder_word = "staging",
       .asked = false,
       .version_query_options = {"--noprimaryconf"},
       .options = {"--noprimaryconf", "--nolocalconf"},
       .exit_option = "--exit",
       .fixed_settings = kStagingFixedSettings,
       .settings_without_display = kStagingWithoutDisplay,
       .title_settings = kStagingTitleSettings,
       .mounts_uncached = false,
       .flush_key_empties_cache = true,
       .mount_takes_colon_for_archive = false,
       .settings_in_folder = true,
       .batch_in_own_shell = true},
      {.line = DosboxLine::kDosbox,
       .name = "DOSBox",
       .program = "dosbox",
       .version_word = "",
       .installed = std::nullopt,
       .folder_word = "",
       .asked = true,
       .version_query_options = {},
       .options = {},
       .exit_option = "",
       .fixed_settings = "",
       .settings_without_display = "",
       .title_settings = "",
       .mounts_uncached = false,
       .flush_key_empties_cache = true,
       .mount_takes_colon_for_archive = false,
       .settings_in_folder = false,
       .batch_in_own_shell = false},
  };
  return kLines;
}

namespace {

std::string LowerFileName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return AsciiLowerCase(slash == std::string::npos ? path
                                                   : path.substr(slash + 1));
}

bool Holds(const std::string& text, const char* word) {
  return *word != '\0' && text.find(word) != std::string::npos;
}

// The line of a program that could not be asked: its name, or the folder
// its installer chose.
DosboxLine UnaskedLine(const std::string& path) {
  std::string name = LowerFileName(path);
  if (name.ends_with(".exe")) name.resize(name.size() - 4);
  const std::string folder = LowerFileName(
      path.substr(0, std::min(path.size(), path.find_last_of("/\\"))));
  for (const DosboxLineTraits& traits : DosboxLines()) {
    if (name == traits.program || Holds(folder, traits.folder_word)) {
      return traits.line;
    }
  }
  return kBaseDosboxLine;
}

}  // namespace

const DosboxLineTraits& TraitsOf(DosboxLine line) {
  const std::span<const DosboxLineTraits> table = DosboxLines();
  return *std::find_if(
      table.begin(), table.end(),
      [&](const DosboxLineTraits& t) { return t.line == line; });
}

const char* DosboxLineName(DosboxLine line) { return TraitsOf(line).name; }

std::string DosboxLinesInSearchOrder() {
  std::string names;
  for (const DosboxLineTraits& traits : DosboxLines()) {
    names += (names.empty() ? "" : ", then ") + std::string(traits.name);
  }
  return names;
}

std::vector<std::string> DosboxVersionQuery(const std::string& path) {
  std::vector<std::string> query = {path, "-version"};
  for (const DosboxLineTraits& traits : DosboxLines()) {
    query.insert(query.end(), traits.version_query_options.begin(),
                 traits.version_query_options.end());
  }
  return query;
}

DosboxLine DosboxLineOf(const std::string& path, const std::string& version) {
  // Unasked: a Windows program has no console to answer on.
  if (version.empty()) return UnaskedLine(path);
  const std::string said = AsciiLowerCase(version);
  for (const DosboxLineTraits& traits : DosboxLines()) {
    if (*traits.version_word == '\0' || Holds(said, traits.version_word)) {
      return traits.line;
    }
  }
  return kBaseDosboxLine;
}

}  // namespace zindo

#ifndef ZINDO_DOS_DOSBOX_LINE_H_
#define ZINDO_DOS_DOSBOX_LINE_H_

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/programs/programs.h"

namespace zindo {

// The lines of DOSBox that the relay knows: the key of the table of their
// traits (DosboxLines). Code outside the table asks a line's traits, never
// which line it is.
enum class DosboxLine { kDosbox, kDosboxX, kStaging };

// The line of the relay's own DOSBox, and of any DOSBox that says nothing
// the relay knows: the one the others grew from.
inline constexpr DosboxLine kBaseDosboxLine = DosboxLine::kDosbox;

// What sets a line of DOSBox apart: how it is found and told from the
// others, and how it must be started.
struct DosboxLineTraits {
  DosboxLine line;
  const char* name;  // as its makers write it: "DOSBox-X"

  const char* program;  // its name on the search path: "dosbox-x"
  // A word (lower case) in its answer to -version. "" matches any answer:
  // the line of a DOSBox that says a version no other line's word is in.
  const char* version_word;
  // Where its installers put it and record that they did, when they do.
  std::optional<Programs::Installed> installed;
  // A word (lower case) in the name of the folder that holds it, that tells
  // the line when the program cannot be asked; "" when the folder does not.
  const char* folder_word;
  // Whether a program found under `program` is asked which line it is:
  // other lines install a program of that name too.
  bool asked;

  // The options it needs when asked its version, which every DOSBox asked
  // is given: which line it is is not known yet, and each line answers
  // -version before it reads any other option.
  std::vector<std::string> version_query_options;

  // Its options, on every start, before its settings; then the one that
  // makes it end at an `exit` given as it starts ("" where it ends anyway).
  std::vector<std::string> options;
  const char* exit_option;
  // Its settings after the user's, which they always override, and those
  // added without a display. Only settings it knows, so that it warns of
  // none.
  const char* fixed_settings;
  const char* settings_without_display;
  // The settings that name its window after the companion, "{}" standing for
  // the title (printable ASCII, no double quote); "" where its window keeps
  // its own title.
  const char* title_settings;
  // Whether it mounts a directory without a cache and reads it afresh at
  // each look-up: the companion sees a new file at once, and it needs no key
  // to empty a cache.
  bool mounts_uncached;
  // Whether Ctrl+F4 empties its directory cache, so that the relay may send
  // it: a line that binds the key to something else is never sent it.
  bool flush_key_empties_cache;
  // Whether MOUNT takes a colon past a drive letter's for the mark of an
  // archive ("games.zip:/dos"), so that a directory so named must be
  // mounted as the directory a link of that name leads to.
  bool mount_takes_colon_for_archive;
  // Whether it must read its settings from a file in a folder, not from a
  // pipe (/dev/fd/N).
  bool settings_in_folder;
  // Whether a batch-file companion runs in a shell of its own, not with
  // CALL in the shell that runs the relay's commands.
  bool batch_in_own_shell;
};

// Every line the relay knows, in the order it looks for them when the user
// names no DOSBox and it has none of its own.
std::span<const DosboxLineTraits> DosboxLines();

// The traits of `line`.
const DosboxLineTraits& TraitsOf(DosboxLine line);

// The line's name, as its makers write it: "DOSBox-X".
const char* DosboxLineName(DosboxLine line);

// The lines' names in the order the relay looks for them, for the user:
// "DOSBox-X, then DOSBox Staging, then DOSBox".
std::string DosboxLinesInSearchOrder();

// The arguments that make the DOSBox at `path` say its version without
// starting (nor writing its user's settings), for DosboxLineOf.
std::vector<std::string> DosboxVersionQuery(const std::string& path);

// The line of the DOSBox at `path`, from the first line it wrote when asked
// its version (`version`, "" when it could not be asked), its file name, and
// the folder it was installed in.
DosboxLine DosboxLineOf(const std::string& path, const std::string& version);

}  // namespace zindo

#endif  // ZINDO_DOS_DOSBOX_LINE_H_

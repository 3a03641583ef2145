#include "dos/companion.h"

#include "base/dos_path.h"
#include "base/error.h"
#include "dos/dosbox_command_line.h"
#include "dos/dosbox_line.h"
#include "dos/dosbox_settings.h"
#include "dos/idle_helper.h"
#include "dos/program_information.h"

namespace zindo {
namespace {

// The user's own file that names the DOSBox to run, when it is not where
// the system's users install it.
constexpr char kDosboxPathFile[] = "dosbox-path.txt";
// The relay's own DOSBox, as the Windows packages bring it: DOSBox\DOSBox.exe
// beside the relay, or beside the folder that holds it.
constexpr char kOwnDosboxFolder[] = "DOSBox";
constexpr char kOwnDosboxProgram[] = "DOSBox";
// More than any PIF holds; only the DOS section at its start is read.
constexpr std::size_t kMaximumPifSize = 64 * 1024;

// A file that was not read as a PIF but holds only text is most likely a
// script that lost its run bit (copied from a USB stick, say): the hint
// saves a user from hunting for what is wrong with a "PIF".
std::string RunBitHint(const std::string& bytes, const std::string& name) {
  const bool script = bytes.starts_with("#!");
  const bool text = !bytes.empty() && bytes.find('\0') == std::string::npos;
  if (!script && !text) return "";
  return std::string("; it is ") + (script ? "a script" : "text") +
         ", not a program information file: to run it as it is, make it "
         "executable (chmod +x " +
         name + ")";
}

// The path on the first line of a file the user wrote, perhaps in Notepad
// (a byte order mark, CR LF) and perhaps copied from Explorer's "Copy as
// path" (in double quotes).
std::string NamedPath(const std::string& text) {
  std::string line = text.substr(0, text.find_first_of("\r\n"));
  if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
  const std::size_t first = line.find_first_not_of(" \t\"");
  if (first == std::string::npos) return "";
  const std::size_t last = line.find_last_not_of(" \t\"");
  return line.substr(first, last - first + 1);
}

}  // namespace

Programs::Search FindOwnDosbox(Programs& programs) {
  return programs.FindBesideRelay(kOwnDosboxFolder, kOwnDosboxProgram);
}

bool RunsInDosbox(Launcher& native, FileSystem& files,
                  const std::string& pif_name) {
  if (!native.StartsItself(pif_name)) return true;
  if (native.RunsDosPrograms()) return false;
  try {
    return IsProgramInformation(
        files.OpenForReading(pif_name)->Read(kMaximumPifSize));
  } catch (const Error&) {
    return false;  // The system's launcher says why it cannot be read.
  }
}

std::optional<StartFolder> NativeStartFolder(FileSystem& files, Drives& drives,
                                             const std::string& pif_name) {
  ProgramInformation program;
  try {
    program = ParseProgramInformation(
        files.OpenForReading(pif_name)->Read(kMaximumPifSize), pif_name);
  } catch (const Error&) {
    return std::nullopt;
  }
  const std::string working = drives.WorkingDirectory();
  StartFolder folder;
  folder.start =
      StartFolderFrom(drives.FromDosCodePage(program.start_directory), working);
  folder.working = working;
  try {
    folder.same = AsciiUpperCase(drives.ResolvedDirectory(folder.start)) ==
                  AsciiUpperCase(drives.ResolvedDirectory(working));
  } catch (const Error& failure) {
    folder.reason = failure.what();
    // A folder that is missing is a fault; one that could not be read may
    // still be where the companion starts.
    folder.uncertain = !failure.Is(ErrorKind::kNotFound);
  }
  return folder;
}

void DosboxSession::Started(const FoundDosbox& dosbox, int process_id,
                            bool idle_helper) {
  process_id_ = process_id;
  const DosboxLineTraits& line = TraitsOf(dosbox.line);
  needs_flush_key_ = !line.mounts_uncached && line.flush_key_empties_cache;
  flush_owed_ = false;
  idle_helper_ = idle_helper;
  trace_.Record("DOSBox started: " + dosbox.path + " (process " +
                std::to_string(process_id) + "), " + dosbox.origin +
                ", run as " + line.name);
}

void DosboxSession::FlushDirectoryCache() {
  if (!flush_owed_ || !desktop_.HasDisplay()) return;
  // A DOSBox that has ended (the companion quit) has nothing to see.
  if (!programs_.IsRunning(process_id_)) return;
  try {
    // The key empties the cache of every drive (and swaps disk images,
    // which the relay never mounts).
    desktop_.SendControlFunctionKey(process_id_, kFlushCacheFunctionKey);
    flush_owed_ = false;
  } catch (const Error& failure) {
    if (failure_reported_) return;
    failure_reported_ = true;
    const std::string why = failure.what();
    trace_.Record("DOSBox's directory cache not emptied: " + why);
    const std::string cost =
        idle_helper_
            ? "the idle helper still answers the companion's look-ups of the "
              "relay's files, but a directory listing or a wildcard search "
              "may miss new files"
            : "a companion that looks for files with FindFirst may not see "
              "the relay's answers";
    process_.ReportDiagnostic(
        "cannot make DOSBox read its directories again (" + why + "); " + cost);
  }
}

void DosboxSession::Tell(const std::string& event, bool to_user) {
  trace_.Record(event);
  if (to_user) process_.ReportDiagnostic(event);
}

void DosboxLauncher::Launch(const std::string& pif_name) {
  if (!RunsInDosbox(native_, files_, pif_name)) {
    native_.Launch(pif_name);
    return;
  }
  const DosboxStart start = Prepare(pif_name);
  try {
    session_.Started(start.dosbox, programs_.StartDetached(start.run),
                     start.run.handed_folder.contains(kIdleHelperName));
  } catch (const Error& failure) {
    if (!start.named.contents) throw;
    throw failure.Before(" (the DOSBox named in " + start.named.path + ")");
  }
}

DosboxLauncher::DosboxStart DosboxLauncher::Prepare(
    const std::string& pif_name) {
  const std::string what = "start " + pif_name + " in DOSBox: ";
  DosboxStart start;
  try {
    start.named = user_files_.Read(kDosboxPathFile);
  } catch (const Error& failure) {
    throw failure.After(what);
  }
  start.dosbox = ChooseDosbox(what, start.named);
  start.run = DosboxRunFor(pif_name, start.dosbox, start.emulated);
  return start;
}

namespace {

const char kFoundOnThisSystem[] = "found on this system";

DosboxLine AskedLine(Programs& programs, const std::string& path) {
  return DosboxLineOf(path, programs.FirstLineOf(DosboxVersionQuery(path)));
}

// The line's program where its installer records it, else on the search
// path, asked which line it is when its name may be another line's.
FoundDosbox FindLine(Programs& programs, const DosboxLineTraits& traits) {
  const Programs::Search recorded =
      traits.installed ? programs.FindInstalled(*traits.installed)
                       : Programs::Search{};
  const Programs::Search searched = programs.Find(traits.program);
  std::string places = recorded.places.empty()
                           ? searched.places
                           : recorded.places + ", " + searched.places;
  std::string path = recorded.path.empty() ? searched.path : recorded.path;
  if (path.empty()) return {"", traits.line, places, kFoundOnThisSystem};
  const DosboxLine line =
      traits.asked ? AskedLine(programs, path) : traits.line;
  return {path, line, places, kFoundOnThisSystem};
}

}  // namespace

FoundDosbox FindDosbox(Programs& programs) {
  std::string places;
  for (const DosboxLineTraits& traits : DosboxLines()) {
    FoundDosbox found = FindLine(programs, traits);
    if (!found.path.empty()) return found;
    places += (places.empty() ? "" : "; ") + found.places;
  }
  return {"", kBaseDosboxLine, places, kFoundOnThisSystem};
}

FoundDosbox DosboxLauncher::ChooseDosbox(const std::string& what,
                                         const UserFiles::UserFile& named) {
  if (named.contents) {
    std::string path = NamedPath(*named.contents);
    if (path.empty()) {
      throw Error(what + named.path +
                  " names no program: write the full path of DOSBox on its "
                  "first line");
    }
    return {path, AskedLine(programs_, path), named.path,
            "named in " + named.path};
  }
  // The DOSBox the relay is proven with comes before any other installed.
  const Programs::Search own = FindOwnDosbox(programs_);
  if (!own.path.empty()) {
    return {own.path, kBaseDosboxLine, own.places, "the relay's own"};
  }
  FoundDosbox found = FindDosbox(programs_);
  if (found.path.empty()) {
    const std::string looked = own.places.empty() ? "" : own.places + ", ";
    throw Error(what + programs_.NoDosReason() +
                " and DOSBox was not found (looked " + looked + found.places +
                "); install DOSBox, or write the full path of the DOSBox "
                "program in " +
                named.path);
  }
  return found;
}

ProgramRun DosboxLauncher::DosboxRunFor(const std::string& pif_name,
                                        const FoundDosbox& dosbox,
                                        DosboxRun& run) {
  const std::string what = "start " + pif_name + " in DOSBox: ";
  std::string bytes;
  try {
    run = {&TraitsOf(dosbox.line), {}, drives_.WorkingDirectory(), {}, ""};
    bytes = files_.OpenForReading(pif_name)->Read(kMaximumPifSize);
    run.program = ParseProgramInformation(bytes, pif_name);
    for (const auto& [letter, drive] : drives_.MappedDrives()) {
      // Mounting a drive with no medium in it would stop DOSBox with a
      // question.
      if (!drive.removable)
        run.drives.push_back({letter, drive.native_directory});
    }
    const UserFiles::UserFile settings = user_files_.Read(kSettingsFileName);
    if (WantsIdleHelper(settings)) run.idle_helper_folder = kHandedFolder;
    const bool settings_in_folder = run.line->settings_in_folder;
    std::vector<std::string> arguments = DosboxArguments(
        run,
        settings_in_folder
            ? std::string(kHandedFolder) + "/" + kSettingsFileName
            : kHandedFile,
        drives_);
    arguments.insert(arguments.begin(), dosbox.path);
    const bool display = desktop_.HasDisplay();
    ProgramRun program{
        std::move(arguments),
        DosboxEnvironment(display, desktop_.SentKeysNeedWindowMessages()),
        run.working_directory,
        DosboxConfig(*run.line, settings.contents.value_or(""), display,
                     WindowTitle(run.program)),
        {}};
    if (!run.idle_helper_folder.empty()) {
      program.handed_folder[kIdleHelperName] = IdleHelperProgram();
    }
    if (settings_in_folder) {
      program.handed_folder[kSettingsFileName] = std::move(program.handed_file);
      program.handed_file.clear();
    }
    return program;
  } catch (const Error& failure) {
    throw failure.After(what).Before(RunBitHint(bytes, pif_name));
  }
}

bool DosboxLauncher::WantsIdleHelper(const UserFiles::UserFile& settings) {
  const RelaySettings relay = ReadRelaySettings(settings.contents.value_or(""));
  for (const std::string& problem : relay.problems) {
    session_.Tell(settings.path + ": " + problem + "; left as it was", true);
  }
  if (!relay.idle_helper) {
    session_.Tell("the idle helper is turned off in " + settings.path, false);
  }
  return relay.idle_helper;
}

void CompanionFiles::WriteFile(const std::string& path,
                               const std::string& bytes) {
  const bool is_new = files_.StoredName(path).empty();
  files_.WriteFile(is_new && IsPlainDosName(path) ? AsciiUpperCase(path) : path,
                   bytes);
  if (is_new) session_.FileCreated();
  session_.FlushDirectoryCache();
}

DosCompanion::DosCompanion(const Platform& platform, Programs& programs,
                           Drives& drives, UserFiles& user_files,
                           Desktop& desktop, const std::string& pif_name)
    : session_(programs, desktop, platform.process, platform.trace),
      launcher_(platform.launcher, platform.files, programs, drives, user_files,
                desktop, session_),
      files_(platform.files, session_),
      platform_{platform.clock,
                platform.events,
                RunsInDosbox(platform.launcher, platform.files, pif_name)
                    ? files_
                    : platform.files,
                platform.ports,
                platform.message_box,
                launcher_,
                platform.process,
                platform.trace,
                platform.log} {}

}  // namespace zindo

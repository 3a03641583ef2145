#ifndef ZINDO_DOS_COMPANION_H_
#define ZINDO_DOS_COMPANION_H_

#include <memory>
#include <optional>
#include <string>

#include "dos/dosbox_command_line.h"
#include "dos/dosbox_line.h"
#include "platform/desktop/desktop.h"
#include "platform/files/drives.h"
#include "platform/files/file_system.h"
#include "platform/files/user_files.h"
#include "platform/platform.h"
#include "platform/programs/launcher.h"
#include "platform/programs/programs.h"

namespace zindo {

// A DOSBox on this machine, and its line.
struct FoundDosbox {
  std::string path;  // "" when there is none
  DosboxLine line = kBaseDosboxLine;
  std::string places;  // where it was looked for, in words, for a message
  // Why this DOSBox, in words: "named in <dosbox-path.txt>", "the relay's
  // own" or "found on this system".
  std::string origin;
};

// The DOSBox that the relay started for the companion, if any, and how to
// make it see what the relay writes. DOSBox answers a DOS program's
// FindFirst, and its opens of names it has listed, from a listing it read
// once; Ctrl+F4 makes it read every directory again.
class DosboxSession {
 public:
  DosboxSession(Programs& programs, Desktop& desktop, Process& process,
                Trace& trace)
      : programs_(programs),
        desktop_(desktop),
        process_(process),
        trace_(trace) {}

  // DOSBox reads the directories afresh as it starts. The trace names the
  // program, which may be any DOSBox the user has installed, why it was the
  // one chosen and the line it was run as. With `idle_helper`, the helper
  // answers the companion's FindFirst for the relay's files whatever
  // DOSBox's cache holds, so that emptying the cache only matters to
  // wildcard searches and directory listings.
  void Started(const FoundDosbox& dosbox, int process_id, bool idle_helper);

  // The relay created a file that DOSBox, once started, has not listed.
  void FileCreated() { flush_owed_ = process_id_ != 0 && needs_flush_key_; }

  // Records `event` in the trace and, when `to_user`, says it in a
  // diagnostic line too.
  void Tell(const std::string& event, bool to_user);

  // Empties the directory cache of the DOSBox the relay started, when a
  // file was created since the last time and DOSBox still runs on a
  // display: a fallback for what the idle helper does not answer. A file that
  // is only rewritten needs none: DOSBox has its name and reads its size and
  // contents afresh. Emptying the cache costs DOSBox a new reading of each
  // directory the companion looks at next. When it cannot be done, says why
  // once, in a diagnostic line and in the trace, goes on, and tries again after
  // the next write.
  void FlushDirectoryCache();

 private:
  Programs& programs_;
  Desktop& desktop_;
  Process& process_;
  Trace& trace_;
  int process_id_ = 0;
  bool needs_flush_key_ = true;
  bool flush_owed_ = false;
  bool failure_reported_ = false;
  bool idle_helper_ = false;
};

// The relay's own DOSBox, where the relay's package puts it: its path, or
// "" when there is none.
Programs::Search FindOwnDosbox(Programs& programs);

// The DOSBox the relay runs when the user names none and it has none of its
// own: the first line of DosboxLines found where its users install it,
// asked which line it is where its name may be another line's.
FoundDosbox FindDosbox(Programs& programs);

// Where the DOS program that the PIF `pif_name` describes starts when the
// system runs it by itself (Windows with DOS), beside the working directory,
// both native and compared as the system resolves them (short names, case,
// links, mapped and substituted drives); nothing when the file is not a PIF
// (a program or script of the system's own).
std::optional<StartFolder> NativeStartFolder(FileSystem& files, Drives& drives,
                                             const std::string& pif_name);

// Whether the companion that `pif_name` describes runs in DOSBox: a file
// that `native` does not start by itself, or one that is a DOS program
// information file by its content (whatever its marks say: on a FAT or
// CIFS mount every file is executable) where the system runs no DOS
// program by itself.
bool RunsInDosbox(Launcher& native, FileSystem& files,
                  const std::string& pif_name);

// Starts the companion: a program the system runs by itself is left to the
// system's launcher; any other autoexec.pif is read as a DOS program
// information file and its program is run in DOSBox, with every drive that
// the relay's DOS paths name mounted (but those with removable media), the
// idle helper loaded first and the user's own dosbox.conf applied. The
// DOSBox to run is the one the user's dosbox-path.txt names, when there is
// one; else the relay's own, where its package puts it; else the system's.
class DosboxLauncher : public Launcher {
 public:
  DosboxLauncher(Launcher& native, FileSystem& files, Programs& programs,
                 Drives& drives, UserFiles& user_files, Desktop& desktop,
                 DosboxSession& session)
      : native_(native),
        files_(files),
        programs_(programs),
        drives_(drives),
        user_files_(user_files),
        desktop_(desktop),
        session_(session) {}

  bool StartsItself(const std::string&) override { return true; }
  bool RunsDosPrograms() override { return native_.RunsDosPrograms(); }
  void Launch(const std::string& pif_name) override;

  // How Launch would run the DOS program that `pif_name` describes, when
  // the system does not start it itself: DOSBox's command line, settings
  // and directory. Starts and changes nothing. Throws Error, as Launch
  // would, when the file, DOSBox or the drives stand in the way.
  struct DosboxStart {
    ProgramRun run;
    FoundDosbox dosbox;         // the DOSBox that runs it, its line and origin
    UserFiles::UserFile named;  // the user's dosbox-path.txt
    DosboxRun emulated;         // what DOSBox is to do: drives, program
  };
  DosboxStart Prepare(const std::string& pif_name);

 private:
  // The DOSBox program to run, and why: the one the user names in `named`,
  // when that file exists, else the relay's own, else the one FindDosbox
  // finds. Throws Error, starting with `what`, when there is none.
  FoundDosbox ChooseDosbox(const std::string& what,
                           const UserFiles::UserFile& named);
  // Fills `run` with what DOSBox is to do on the way.
  ProgramRun DosboxRunFor(const std::string& pif_name,
                          const FoundDosbox& dosbox, DosboxRun& run);
  // Whether the user's DOSBox settings leave the idle helper on; says what
  // in them is not understood.
  bool WantsIdleHelper(const UserFiles::UserFile& settings);

  Launcher& native_;
  FileSystem& files_;
  Programs& programs_;
  Drives& drives_;
  UserFiles& user_files_;
  Desktop& desktop_;
  DosboxSession& session_;
};

// The files as a DOS companion in DOSBox needs them written. A file created
// anew in the working directory is stored under the upper-case name that
// DOS asks for, since DOSBox looks a name it has not listed up on the host
// as DOS spells it; an existing file keeps its stored name. After a write
// that created a file, DOSBox's directory cache is emptied.
class CompanionFiles : public FileSystem {
 public:
  CompanionFiles(FileSystem& files, DosboxSession& session)
      : files_(files), session_(session) {}

  std::string StoredName(const std::string& path) override {
    return files_.StoredName(path);
  }
  void CreateDirectory(const std::string& path) override {
    files_.CreateDirectory(path);
  }
  void WriteFile(const std::string& path, const std::string& bytes) override;
  std::string NonFileKind(const std::string& path) override {
    return files_.NonFileKind(path);
  }
  std::unique_ptr<SequentialFile> OpenForReading(
      const std::string& path) override {
    return files_.OpenForReading(path);
  }
  void DeleteFile(const std::string& path) override { files_.DeleteFile(path); }

 private:
  FileSystem& files_;
  DosboxSession& session_;
};

// The services the relay runs with when its companion may be a DOS program:
// those of `platform`, with the launcher and, when `pif_name` is to run in
// DOSBox, the files above.
class DosCompanion {
 public:
  DosCompanion(const Platform& platform, Programs& programs, Drives& drives,
               UserFiles& user_files, Desktop& desktop,
               const std::string& pif_name);

  // A copy's launcher, files and platform would still be the original's.
  DosCompanion(const DosCompanion&) = delete;
  DosCompanion& operator=(const DosCompanion&) = delete;

  const Platform& platform() const { return platform_; }

 private:
  DosboxSession session_;
  DosboxLauncher launcher_;
  CompanionFiles files_;
  Platform platform_;
};

}  // namespace zindo

#endif  // ZINDO_DOS_COMPANION_H_

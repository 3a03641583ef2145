#ifndef ZINDO_PLATFORM_PROGRAMS_PROGRAMS_H_
#define ZINDO_PLATFORM_PROGRAMS_PROGRAMS_H_

#include <map>
#include <string>
#include <vector>

namespace zindo {

// A program to start in the background.
struct ProgramRun {
  // The program's full path first (see Programs::Find).
  std::vector<std::string> arguments;
  // Environment variables to set ("NAME=value") on top of the relay's own.
  std::vector<std::string> settings;
  // Native directory to start in.
  std::string directory;
  // Text that the program reads as a file of its own: every argument equal
  // to kHandedFile is replaced by that file's path.
  std::string handed_file;
  // Files, by name, that the program reads from a folder of its own: when
  // there are any, they are written into a new folder that only this user
  // may enter, which lasts until the relay ends, and kHandedFolder is
  // replaced by the folder's native path wherever an argument holds it.
  std::map<std::string, std::string> handed_folder;
};

inline constexpr char kHandedFile[] = "{handed-file}";
inline constexpr char kHandedFolder[] = "{handed-folder}";

// The arguments of `run` with the paths of what it is handed in place of
// kHandedFile and kHandedFolder.
std::vector<std::string> ArgumentsWithHandedPaths(
    const ProgramRun& run, const std::string& file_path,
    const std::string& folder_path);

// Other programs on this machine: finding them, asking them for a line,
// and starting them in the background.
class Programs {
 public:
  virtual ~Programs() = default;

  // Where Find looked, and what it found.
  struct Search {
    std::string path;    // The program's full path, or "" when not found.
    std::string places;  // Where it looked, in words, for a message.
  };

  // The program `name` where this system's users install it: on the
  // search path, and where the system has other places for programs (a
  // register of installed programs, installers' folders named after it).
  // Only absolute directories are searched, never the working directory.
  virtual Search Find(const std::string& name) = 0;

  // The program `name` that came with the relay, in the folder `folder`
  // where the relay's package puts it: beside the relay's own program, or
  // one folder up, which a package that holds a relay for each processor in
  // a folder of its own shares between them. Only those two places are
  // looked at, in that order; places is "" on a system whose package brings
  // no programs, where nothing is looked for.
  virtual Search FindBesideRelay(const std::string& folder,
                                 const std::string& name) = 0;

  // Where an installer records a program besides the places Find looks:
  // the folders it installs into and the registry values naming the folder
  // it chose. Only some systems (Windows) have such places.
  struct RegistryValue {
    std::string key;    // "Software\\Maker\\Program", under the user's
                        // and the machine's keys
    std::string value;  // the value, a string, naming the folder
  };
  struct Installed {
    std::string name;  // the program's file name without the system's
                       // extension for programs
    // Folders named as installers name them, each looked for in every
    // folder of the system's for programs and at the system drive's root.
    std::vector<std::string> folders;
    std::vector<RegistryValue> registered;
  };

  // The program `installed.name` in the folder that its registry values
  // name, in the order given (the user's key before the machine's, both
  // registry views), else in its installers' folders. Finds nothing, and
  // looked nowhere, where the system has no such places.
  virtual Search FindInstalled(const Installed& installed) = 0;

  // The first line with text that the program `arguments[0]`, run with
  // the rest of `arguments`, writes to its standard output or error (its
  // version, say), or "" when it writes none, cannot be run, or the system
  // cannot read what it writes (a Windows program without a console).
  // Waits a few seconds at most.
  virtual std::string FirstLineOf(
      const std::vector<std::string>& arguments) = 0;

  // Why a DOS program needs an emulator here, for messages: "this system
  // cannot run DOS programs".
  virtual std::string NoDosReason() = 0;

  // Starts `run` without waiting for it and returns its process id. Throws
  // Error naming the program when it cannot be started, or when what it is
  // handed cannot be written.
  virtual int StartDetached(const ProgramRun& run) = 0;

  // Whether the process `process_id` is still running.
  virtual bool IsRunning(int process_id) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_PROGRAMS_H_

#ifndef ZINDO_PLATFORM_PROGRAMS_PROGRAMS_WIN32_H_
#define ZINDO_PLATFORM_PROGRAMS_PROGRAMS_WIN32_H_

#include <map>
#include <string>
#include <vector>

#include "platform/files/file_system-win32.h"
#include "platform/programs/programs.h"
#include "platform/windows-win32.h"

namespace zindo {

// Programs found where Windows users install them and started with
// CreateProcessW. The drives are the machine's drives by their letters;
// the user's files are in the working directory of `files`, beside the
// companion. A handed file or folder is made in the temporary folder and
// removed when the relay ends: the program may read it at any time while it
// starts.
class Win32Programs : public Programs {
 public:
  explicit Win32Programs(Win32FileSystem& files) : files_(files) {}
  ~Win32Programs() override { RemoveHandedFiles(); }

  // Removes the files and folders handed to the programs started so far.
  void RemoveHandedFiles();

  Search Find(const std::string& name) override;
  Search FindBesideRelay(const std::string& folder,
                         const std::string& name) override;
  Search FindInstalled(const Installed& installed) override;
  // A Windows program may have no console to write to; none is asked.
  std::string FirstLineOf(const std::vector<std::string>&) override {
    return "";
  }
  std::string NoDosReason() override {
    return "this Windows cannot run DOS programs";
  }
  int StartDetached(const ProgramRun& run) override;
  bool IsRunning(int process_id) override;
  std::map<char, Drive> MappedDrives() override;
  std::string WorkingDirectory() override;
  std::string ResolvedDirectory(const std::string& native_path) override;
  UserFile ReadUserFile(const std::string& name) override;

 private:
  std::string HandedPath(const std::string& what, const std::string& suffix);
  std::string HandOver(const std::string& text, const std::string& what);
  std::string HandOverFolder(const std::map<std::string, std::string>& files,
                             const std::string& what);

  Win32FileSystem& files_;
  std::map<int, UniqueHandle> processes_;
  std::vector<std::string> handed_files_;
  std::vector<std::string> handed_folders_;
};

// `arguments` as one command line that the C runtime's parser (and
// CommandLineToArgvW) splits back into the same words.
std::string CommandLineOf(const std::vector<std::string>& arguments);

// Whether this Windows runs DOS programs itself: only 32-bit x86 Windows
// has a DOS subsystem (NTVDM), and only when it is installed there.
bool HasDosSubsystem();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_PROGRAMS_WIN32_H_

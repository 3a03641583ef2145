#ifndef ZINDO_PLATFORM_PROGRAMS_SPAWN_WIN32_H_
#define ZINDO_PLATFORM_PROGRAMS_SPAWN_WIN32_H_

#include <map>
#include <string>
#include <vector>

#include "platform/programs/programs.h"
#include "platform/windows-win32.h"

namespace zindo {

// Starts programs in the background with CreateProcessW, each with the
// relay's environment and its own settings on top, and keeps what they are
// handed: a handed file or folder is made in the temporary folder and
// removed when the relay ends, since the program may read it at any time
// while it starts.
class Win32Spawner {
 public:
  Win32Spawner() = default;
  Win32Spawner(const Win32Spawner&) = delete;
  Win32Spawner& operator=(const Win32Spawner&) = delete;
  ~Win32Spawner() { RemoveHandedFiles(); }

  // As Programs::StartDetached and Programs::IsRunning.
  int StartDetached(const ProgramRun& run);
  bool IsRunning(int process_id);

  // Removes the files and folders handed to the programs started so far.
  void RemoveHandedFiles();

 private:
  std::string HandedPath(const std::string& what, const std::string& suffix);
  std::string HandOver(const std::string& text, const std::string& what);
  std::string HandOverFolder(const std::map<std::string, std::string>& files,
                             const std::string& what);

  std::map<int, UniqueHandle> processes_;
  std::vector<std::string> handed_files_;
  std::vector<std::string> handed_folders_;
};

// `arguments` as one command line that the C runtime's parser (and
// CommandLineToArgvW) splits back into the same words.
std::string CommandLineOf(const std::vector<std::string>& arguments);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_SPAWN_WIN32_H_

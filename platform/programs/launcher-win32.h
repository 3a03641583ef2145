#ifndef ZINDO_PLATFORM_PROGRAMS_LAUNCHER_WIN32_H_
#define ZINDO_PLATFORM_PROGRAMS_LAUNCHER_WIN32_H_

#include <string>

#include "platform/files/file_system-win32.h"
#include "platform/programs/launcher.h"
#include "platform/windows-win32.h"

namespace zindo {

// Opens the program information file through the shell, which starts the
// program it describes the way Explorer would, in the working directory of
// `files`.
class Win32Launcher : public Launcher {
 public:
  explicit Win32Launcher(Win32FileSystem& files) : files_(files) {}

  void Launch(const std::string& pif_name) override;
  // Windows runs a Windows program under any name, and a PIF only where
  // it still has DOS (see HasDosSubsystem).
  bool StartsItself(const std::string& pif_name) override;
  bool RunsDosPrograms() override;

 private:
  Win32FileSystem& files_;
};

// Why ShellExecuteW failed, from what it returned (32 or less) and, for the
// codes that are Win32 errors, the system's text.
std::string ShellExecuteFailure(INT_PTR result);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_LAUNCHER_WIN32_H_

#ifndef ZINDO_PLATFORM_PROGRAMS_LAUNCHER_POSIX_H_
#define ZINDO_PLATFORM_PROGRAMS_LAUNCHER_POSIX_H_

#include <string>

#include "platform/files/file_system-posix.h"
#include "platform/programs/launcher.h"

namespace zindo {

// Starts the companion from the program information file, found in the
// working directory of `files` as every other file is, when the file is
// executable (typically a script that starts the companion in an
// emulator). The program runs in its own session with no input, and is
// neither waited for nor left behind as a zombie. Any other file is a DOS
// PIF, which this system cannot run by itself.
class PosixLauncher : public Launcher {
 public:
  explicit PosixLauncher(PosixFileSystem& files) : files_(files) {}

  void Launch(const std::string& pif_name) override;
  bool StartsItself(const std::string& pif_name) override;
  bool RunsDosPrograms() override { return false; }

 private:
  PosixFileSystem& files_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_LAUNCHER_POSIX_H_

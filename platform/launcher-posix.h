#ifndef ZINDO_PLATFORM_LAUNCHER_POSIX_H_
#define ZINDO_PLATFORM_LAUNCHER_POSIX_H_

#include <string>

#include "platform/file_system-posix.h"
#include "platform/launcher.h"

namespace zindo {

// Starts the companion from the program information file, found in the
// working directory of `files` as every other file is. An executable file
// (typically a script that starts the companion in an emulator) runs
// itself; any other file is read as a DOS PIF, and DOSBox runs the program
// it names, with the prefix's drives mounted. The program runs in its own
// session with no input, and is neither waited for nor left behind as a
// zombie.
class PosixLauncher : public Launcher {
 public:
  explicit PosixLauncher(PosixFileSystem& files) : files_(files) {}

  void Launch(const std::string& pif_name) override;

 private:
  // More than any PIF holds; only the DOS section at its start is read.
  static constexpr std::size_t kMaximumPifSize = 64 * 1024;

  void LaunchInDosbox(const std::string& pif_name,
                      const std::string& native_pif);

  PosixFileSystem& files_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_LAUNCHER_POSIX_H_

#ifndef ZINDO_PLATFORM_PROGRAMS_PROGRAMS_WIN32_H_
#define ZINDO_PLATFORM_PROGRAMS_PROGRAMS_WIN32_H_

#include <string>
#include <vector>

#include "platform/programs/programs.h"
#include "platform/programs/spawn-win32.h"

namespace zindo {

// Programs found where Windows users install them and started as
// Win32Spawner starts them.
class Win32Programs : public Programs {
 public:
  // Removes the files and folders handed to the programs started so far.
  void RemoveHandedFiles() { spawner_.RemoveHandedFiles(); }

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
  int StartDetached(const ProgramRun& run) override {
    return spawner_.StartDetached(run);
  }
  bool IsRunning(int process_id) override {
    return spawner_.IsRunning(process_id);
  }

 private:
  Win32Spawner spawner_;
};

// Whether this Windows runs DOS programs itself: only 32-bit x86 Windows
// has a DOS subsystem (NTVDM), and only when it is installed there.
bool HasDosSubsystem();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_PROGRAMS_WIN32_H_

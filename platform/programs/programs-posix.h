#ifndef ZINDO_PLATFORM_PROGRAMS_PROGRAMS_POSIX_H_
#define ZINDO_PLATFORM_PROGRAMS_PROGRAMS_POSIX_H_

#include <map>
#include <string>
#include <vector>

#include "platform/programs/programs.h"

namespace zindo {

// The first line with text that the program `arguments[0]`, run with the
// rest of `arguments`, writes to its standard output or error within a few
// seconds; "" when it writes none or cannot be run.
std::string FirstOutputLine(const std::vector<std::string>& arguments);

// Programs found on $PATH and started with the relay's environment.
// A handed file is a pipe that holds the text, read as /dev/fd/N; a handed
// folder is made in $TMPDIR (or /tmp) and removed when the relay ends.
class PosixPrograms : public Programs {
 public:
  PosixPrograms() = default;
  ~PosixPrograms() override { RemoveHandedFolders(); }

  // Removes the folders handed to the programs started so far.
  void RemoveHandedFolders();

  Search Find(const std::string& name) override;
  // The Linux package brings no programs: it uses the system's.
  Search FindBesideRelay(const std::string&, const std::string&) override {
    return {"", ""};
  }
  // Installers here record nothing that Find does not look at.
  Search FindInstalled(const Installed&) override { return {"", ""}; }
  std::string FirstLineOf(const std::vector<std::string>& arguments) override {
    return FirstOutputLine(arguments);
  }
  std::string NoDosReason() override {
    return "this system cannot run DOS programs";
  }
  int StartDetached(const ProgramRun& run) override;
  bool IsRunning(int process_id) override;

 private:
  std::string HandOverFolder(const std::map<std::string, std::string>& files,
                             const std::string& what);

  std::vector<std::string> handed_folders_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_PROGRAMS_POSIX_H_

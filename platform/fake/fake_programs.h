#ifndef ZINDO_PLATFORM_FAKE_FAKE_PROGRAMS_H_
#define ZINDO_PLATFORM_FAKE_FAKE_PROGRAMS_H_

// Other programs: the launcher of the companion, and finding and starting
// programs.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/fake/fake_journal.h"
#include "platform/programs/launcher.h"
#include "platform/programs/programs.h"

namespace zindo {

class FakeLauncher : public Launcher {
 public:
  explicit FakeLauncher(FakeJournal& journal) : journal_(journal) {}
  void Launch(const std::string& pif_name) override;
  bool StartsItself(const std::string&) override { return starts_itself_; }
  bool RunsDosPrograms() override { return runs_dos_; }
  // Makes every PIF one that the system cannot run by itself.
  void TakeNoDosPrograms() { starts_itself_ = runs_dos_ = false; }
  // A system without DOS that would run any file, as on a mount where every
  // file is executable.
  void RunEveryFileButNoDos() { runs_dos_ = false; }
  void FailWith(const std::string& message) { failure_ = message; }

 private:
  FakeJournal& journal_;
  std::string failure_;
  bool starts_itself_ = true;
  bool runs_dos_ = true;
};

// Programs that start without running. Records "start <program>" for every
// program started.
class FakePrograms : public Programs {
 public:
  explicit FakePrograms(FakeJournal& journal) : journal_(journal) {}

  Search Find(const std::string& name) override;
  // The relay is in /opt/zindo-relay.
  Search FindBesideRelay(const std::string& folder,
                         const std::string& name) override;
  // Finds what `installed_at` holds for the name, and records where it was
  // asked to look in `installed_asked`.
  Search FindInstalled(const Installed& installed) override;
  // What `first_lines` holds for the program; "" for the rest.
  std::string FirstLineOf(const std::vector<std::string>& arguments) override {
    const auto line = first_lines.find(arguments.at(0));
    return line == first_lines.end() ? "" : line->second;
  }
  std::string NoDosReason() override { return "this system cannot run DOS"; }
  int StartDetached(const ProgramRun& run) override;
  bool IsRunning(int) override { return running; }

  static constexpr int kProcessId = 4242;
  bool installed = true;  // Find finds the programs named in `on_path`,
                          // in /usr/bin
  std::set<std::string> on_path = {"dosbox"};
  bool brought = false;  // FindBesideRelay finds every program
  std::map<std::string, std::string> installed_at;  // by name
  std::vector<Installed> installed_asked;
  std::map<std::string, std::string> first_lines;  // by program
  bool running = true;  // every program started runs until this is false
  std::vector<ProgramRun> runs;        // every program started
  std::optional<Error> start_failure;  // when set, every start fails with it

 private:
  FakeJournal& journal_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_PROGRAMS_H_

#ifndef ZINDO_PLATFORM_PROGRAMS_WIN32_H_
#define ZINDO_PLATFORM_PROGRAMS_WIN32_H_

#include <string>

#include "platform/desktop.h"
#include "platform/error.h"
#include "platform/programs.h"

namespace zindo {

// Windows runs the companion's PIF itself (Win32Launcher), so the relay
// never starts DOSBox here: other programs are not looked for.
class Win32Programs : public Programs {
 public:
  std::string Find(const std::string&) override { return ""; }
  int StartDetached(const ProgramRun& run) override {
    throw Error("start " + run.arguments.at(0) + ": not done on Windows");
  }
  bool IsRunning(int) override { return false; }
  std::map<char, std::string> MappedDrives() override { return {}; }
  std::string WorkingDirectory() override { return ""; }
  UserFile ReadUserFile(const std::string& name) override {
    return {name, std::nullopt};
  }
};

// No other program's window is signalled on Windows.
class Win32Desktop : public Desktop {
 public:
  bool HasDisplay() override { return true; }
  void SendControlKey(int, const std::string&) override {
    throw Error("sending keys to other windows is not done on Windows");
  }
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_WIN32_H_

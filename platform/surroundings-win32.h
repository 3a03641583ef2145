#ifndef ZINDO_PLATFORM_SURROUNDINGS_WIN32_H_
#define ZINDO_PLATFORM_SURROUNDINGS_WIN32_H_

#include <string>

#include "platform/serial/serial_device-win32.h"
#include "platform/surroundings.h"
#include "platform/windows-win32.h"

namespace zindo {

// What the relay would meet on Windows: drive letters and COM ports are the
// system's own, the desktop is always there, and the directory is watched
// with ReadDirectoryChangesW, which has no per-user limit.
class Win32Surroundings : public Surroundings {
 public:
  Win32Surroundings(std::string working_directory, Win32SerialPorts& ports)
      : working_directory_(std::move(working_directory)), ports_(ports) {}

  Finding Prefix() override;
  Finding WorkingDirectory() override;
  Finding OtherWriters() override;
  std::string NativePath(const std::string& path) override;
  // A port file's serial server is read, not connected to; a COM port of
  // the system's is opened as the relay opens it, and closed again at once.
  Finding Device(int port) override;
  Finding Display() override;
  Finding DirectoryWatching() override;
  // DOSBox for Windows is a windowed program that writes its version to no
  // console: it is not asked.
  std::string ProgramVersion(const std::string&) override { return ""; }

 private:
  std::string working_directory_;
  Win32SerialPorts& ports_;
};

// The groups standing for the PC's other users (Everyone, Users,
// Authenticated Users) that the folder's access list `dacl` lets add or
// replace files, by its entries for the folder itself (not those only for
// what it holds), as one phrase ("Everyone, Users"); "" for none. A missing
// list lets everyone.
std::string WideWriters(const ACL* dacl);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SURROUNDINGS_WIN32_H_

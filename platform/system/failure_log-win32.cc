#include <string>

#include "base/dos_path.h"
#include "platform/system/failure_log.h"
#include "platform/system/process-win32.h"
#include "platform/windows-win32.h"
// After windows.h, which it needs.
#include <shlobj.h>

namespace zindo {
namespace {

// The user's local application data folder as the shell knows it, "" when
// it knows none (a service's account may have none).
std::string KnownLocalAppData() {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT,
                                       nullptr, &path))) {
    folder = ToUtf8(path);
  }
  ::CoTaskMemFree(path);
  return folder;
}

}  // namespace

// %LOCALAPPDATA% as set, when it is a whole path (a drive's or a network
// share's); a relative one would put the log wherever the relay was started,
// so it counts as unset, as the shell's own folder then does.
FailureLogPlace FailureLogPlaceHere() {
  std::string local = EnvironmentVariable(L"LOCALAPPDATA");
  if (WindowsPathRootLength(local) == 0) local = KnownLocalAppData();
  if (WindowsPathRootLength(local) == 0) return {};
  if (local.ends_with('\\') || local.ends_with('/')) local.pop_back();
  const std::string folder = local + "\\zindo-relay";
  return {folder, folder + "\\zindo-relay.log",
          folder + "\\zindo-relay.old.log"};
}

}  // namespace zindo

#include <string>

#include "platform/programs/programs-win32.h"
#include "platform/system/failure_log.h"

namespace zindo {

FailureLogPlace FailureLogPlaceHere() {
  const std::string local = EnvironmentVariable(L"LOCALAPPDATA");
  if (local.empty()) return {};
  const std::string folder = local + "\\zindo-relay";
  return {folder, folder + "\\zindo-relay.log",
          folder + "\\zindo-relay.old.log"};
}

}  // namespace zindo

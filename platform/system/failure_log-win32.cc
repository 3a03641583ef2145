#include <string>

#include "platform/system/failure_log.h"
#include "platform/system/process-win32.h"

namespace zindo {

FailureLogPlace FailureLogPlaceHere() {
  const std::string local = EnvironmentVariable(L"LOCALAPPDATA");
  if (local.empty()) return {};
  const std::string folder = local + "\\zindo-relay";
  return {folder, folder + "\\zindo-relay.log",
          folder + "\\zindo-relay.old.log"};
}

}  // namespace zindo

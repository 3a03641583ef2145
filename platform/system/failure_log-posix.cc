#include <string>

#include "platform/system/failure_log.h"
#include "platform/system/process-posix.h"

namespace zindo {

// A relative XDG_STATE_HOME is to be ignored, as the base directory
// convention says.
FailureLogPlace FailureLogPlaceHere() {
  std::string state = EnvironmentVariable("XDG_STATE_HOME");
  if (!state.starts_with('/')) {
    const std::string home = EnvironmentVariable("HOME");
    if (home.empty()) return {};
    state = home + "/.local/state";
  }
  const std::string folder = state + "/zindo-relay";
  return {folder, folder + "/zindo-relay.log", folder + "/zindo-relay.old.log"};
}

}  // namespace zindo

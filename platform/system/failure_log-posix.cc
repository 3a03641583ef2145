#include <cstdlib>
#include <string>

#include "platform/system/failure_log.h"

namespace zindo {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

}  // namespace

// A relative XDG_STATE_HOME is to be ignored, as the base directory
// convention says.
FailureLogPlace FailureLogPlaceHere() {
  std::string state = Variable("XDG_STATE_HOME");
  if (!state.starts_with('/')) {
    const std::string home = Variable("HOME");
    if (home.empty()) return {};
    state = home + "/.local/state";
  }
  const std::string folder = state + "/zindo-relay";
  return {folder, folder + "/zindo-relay.log", folder + "/zindo-relay.old.log"};
}

}  // namespace zindo

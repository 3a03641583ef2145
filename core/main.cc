#include <cstdio>
#include <exception>
#include <memory>

#include "core/relay.h"
#include "platform/platform.h"

// The relay takes no arguments: everything it needs is in its working
// directory and in the configuration file that it shares with the companion.
int main() {
  std::unique_ptr<zindo::SystemPlatform> system;
  try {
    system = zindo::CreateSystemPlatform();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "zindo-relay: %s\n", failure.what());
    return zindo::kExitEarlyFailure;
  }
  const zindo::Platform& platform = system->Get();
  int status = zindo::Relay(platform).Run();
  platform.process.Exit(status);
  return status;
}

#ifndef ZINDO_TOOLS_SETUP_ADAPTERS_H_
#define ZINDO_TOOLS_SETUP_ADAPTERS_H_

#include <optional>
#include <string>
#include <vector>

namespace zindo::tools {

// Where udev names each serial adapter after its maker, model and serial
// number: the name stays when the adapter moves to another USB socket,
// where its ttyUSB or ttyACM number may change.
inline constexpr char kStableNames[] = "/dev/serial/by-id";

// A serial adapter plugged in now.
struct Adapter {
  std::string stable_path;  // /dev/serial/by-id/usb-FTDI_..._A1B2-if00-port0
  std::string device;       // what it points to now: /dev/ttyUSB0
};

// The adapters under `directory` (kStableNames, or a stand-in), sorted by
// stable name. None when the directory is missing: udev makes it only
// while an adapter is plugged in.
std::vector<Adapter> ListAdapters(const std::string& directory);

// The adapter that `name` means: its stable path, the last part of it, or
// the device it points to now (/dev/ttyUSB0, or ttyUSB0).
std::optional<Adapter> FindAdapter(const std::vector<Adapter>& adapters,
                                   const std::string& name);

// A port of the prefix: dosdevices/comN.
struct MappedPort {
  int number = 0;
  std::string target;  // what the link names
  std::string device;  // where it leads now, "" when nowhere
};

// The ports that `prefix` maps, by number.
std::vector<MappedPort> ListMappedPorts(const std::string& prefix);

enum class Mapping { kMade, kAlreadyThere };

// Points dosdevices/comN of `prefix` at `target`, making dosdevices when
// missing. An entry already there is replaced only with `force`, unless it
// already points there or is a link left to a pseudo-terminal. Throws Error
// saying what is in the way, or what the system refused.
Mapping MapPort(const std::string& prefix, int port, const std::string& target,
                bool force);

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_SETUP_ADAPTERS_H_

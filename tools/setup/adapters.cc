#include "tools/setup/adapters.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/dos_path.h"
#include "base/error.h"
#include "tools/pseudo_terminal.h"

namespace zindo::tools {
namespace {

namespace fs = std::filesystem;

// Where `link` leads, every link followed, or "" when nowhere.
std::string Destination(const fs::path& link) {
  std::error_code error;
  const fs::path device = fs::canonical(link, error);
  return error ? "" : device.string();
}

// N of the link "comN" that the relay opens for port N, or 0 for any other
// name: the links are named in lower case.
int PortNumberOf(const std::string& name) {
  return name.starts_with("com") ? ComPortNumber(name.substr(3)) : 0;
}

}  // namespace

std::vector<Adapter> ListAdapters(const std::string& directory) {
  std::vector<Adapter> adapters;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(directory, error)) {
    const std::string device = Destination(entry.path());
    if (!device.empty()) adapters.push_back({entry.path().string(), device});
  }
  std::sort(adapters.begin(), adapters.end(),
            [](const Adapter& a, const Adapter& b) {
              return a.stable_path < b.stable_path;
            });
  return adapters;
}

std::optional<Adapter> FindAdapter(const std::vector<Adapter>& adapters,
                                   const std::string& name) {
  for (const Adapter& adapter : adapters) {
    const std::string device_name = fs::path(adapter.device).filename();
    const std::string stable_name = fs::path(adapter.stable_path).filename();
    if (name == adapter.stable_path || name == stable_name ||
        name == adapter.device || name == device_name) {
      return adapter;
    }
  }
  return std::nullopt;
}

std::vector<MappedPort> ListMappedPorts(const std::string& prefix) {
  std::vector<MappedPort> ports;
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(fs::path(prefix) / "dosdevices", error)) {
    const int number = PortNumberOf(entry.path().filename());
    if (number == 0) continue;
    std::error_code unreadable;
    const fs::path target = fs::read_symlink(entry.path(), unreadable);
    ports.push_back(
        {number, unreadable ? "" : target.string(), Destination(entry.path())});
  }
  std::sort(ports.begin(), ports.end(),
            [](const MappedPort& a, const MappedPort& b) {
              return a.number < b.number;
            });
  return ports;
}

Mapping MapPort(const std::string& prefix, int port, const std::string& target,
                bool force) {
  if (port < 1 || port > 255) {
    throw Error("COM" + std::to_string(port) + ": ports are numbered 1 to 255");
  }
  const fs::path devices = fs::path(prefix) / "dosdevices";
  const fs::path link = devices / ("com" + std::to_string(port));
  std::error_code error;
  if (fs::read_symlink(link, error) == target && !error) {
    return Mapping::kAlreadyThere;
  }
  fs::create_directories(devices, error);
  if (error) throw Error("create " + devices.string() + ": " + error.message());
  try {
    PointLinkAt(link, target,
                force ? Replace::kAnything : Replace::kOnlyPseudoTerminalLinks);
  } catch (const std::system_error& refused) {
    throw Error(refused.what());
  }
  return Mapping::kMade;
}

}  // namespace zindo::tools

#include "platform/serial/known_ports.h"

#include <map>

namespace zindo {

std::string NoSuchPortText(const std::vector<KnownPort>& ports) {
  std::string text = "no such port on this PC (it has ";
  if (ports.empty()) return text + "no COM port)";
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (i > 0) text += ", ";
    text += "COM" + std::to_string(ports[i].number);
  }
  return text + ")";
}

std::vector<KnownPort> JoinPortLists(const std::vector<KnownPort>& first,
                                     const std::vector<KnownPort>& second) {
  std::map<int, KnownPort> ports;
  for (const std::vector<KnownPort>* list : {&first, &second}) {
    for (const KnownPort& port : *list) {
      const std::string bare = "COM" + std::to_string(port.number);
      auto [entry, added] = ports.emplace(port.number, port);
      if (!added && entry->second.name == bare && port.name != bare) {
        entry->second = port;
      }
    }
  }
  std::vector<KnownPort> joined;
  for (const auto& [number, port] : ports) joined.push_back(port);
  return joined;
}

}  // namespace zindo

#include "platform/serial/known_ports.h"

#include <map>

#include "base/dos_path.h"

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

int ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6 ||
      AsciiUpperCase(name.substr(0, 3)) != "COM" || name[3] == '0') {
    return 0;
  }
  int number = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= 255 ? number : 0;
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

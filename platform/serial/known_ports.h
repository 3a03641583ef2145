#ifndef ZINDO_PLATFORM_SERIAL_KNOWN_PORTS_H_
#define ZINDO_PLATFORM_SERIAL_KNOWN_PORTS_H_

#include <string>
#include <vector>

namespace zindo {

// A COM port this machine has, as its user knows it.
struct KnownPort {
  int number = 0;    // 3 for COM3
  std::string name;  // "USB Serial Port (COM3)", or "COM3" with no other name

  bool operator==(const KnownPort&) const = default;
};

// What a port that another program holds is called, in the log and in the
// check alike: a second relay is the commonest holder.
inline constexpr char kPortInUse[] =
    "in use by another program (a relay that is still running?)";

// What a port that is not there is called, with the ports there are:
// "no such port on this PC (it has COM3, COM4)".
std::string NoSuchPortText(const std::vector<KnownPort>& ports);

// The ports of `first` and `second`, one a number, in the order of their
// numbers. Where both know a port, the entry with a name of its own
// ("USB Serial Port (COM3)" rather than "COM3") is kept.
std::vector<KnownPort> JoinPortLists(const std::vector<KnownPort>& first,
                                     const std::vector<KnownPort>& second);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_KNOWN_PORTS_H_

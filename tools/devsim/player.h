#ifndef ZINDO_TOOLS_DEVSIM_PLAYER_H_
#define ZINDO_TOOLS_DEVSIM_PLAYER_H_

#include <optional>
#include <string>

#include "tools/devsim/framer.h"
#include "tools/devsim/log.h"
#include "tools/devsim/replies.h"
#include "tools/devsim/rules.h"
#include "tools/tool_support.h"

namespace zindo::tools {

// Plays the device on one end of a line: reads what the relay sends, frames
// it, answers by the rules and writes the answers on time, logging each
// step. Everything waits in one ppoll whose timeout is the nearest of the
// framer's and the scheduler's deadlines, so nothing spins. Instants are
// seconds on the monotonic clock, read through the platform's clock.
class DevicePlayer {
 public:
  // `fd` is the line, non-blocking. When it is a pseudo-terminal master,
  // `slave_path` names its slave side: the player then follows the relay
  // opening and closing the port and keeps playing across it. Any other
  // line counts as open throughout.
  DevicePlayer(int fd, const std::optional<std::string>& slave_path,
               RuleSet rules, EventLog& log);

  // Plays until a stop signal. Throws std::system_error when the line
  // fails for good (a serial adapter unplugged).
  void Run(const BlockedStopSignals& stop);

  // Plays on the network connection `fd` (non-blocking) instead, until the
  // other end closes it or a stop signal comes. The rules go on from where
  // the last connection left them.
  void PlayConnection(int fd, const BlockedStopSignals& stop);

 private:
  short Wait(const BlockedStopSignals& stop);
  short WaitForOpen(const BlockedStopSignals& stop);
  std::optional<double> NextDeadline() const;
  bool PortOpen() const { return !pseudo_terminal_ || presence_.open(); }
  void ReadWaiting(double now);
  void NotePresence(bool hung_up);
  void Answer(const ReceivedMessage& message, double now);
  void SendDue(double now);
  bool WriteAll(const std::string& bytes);

  int fd_;
  bool pseudo_terminal_;
  bool connection_ = false;
  bool ended_ = false;
  SlavePresence presence_;
  std::optional<OpenWatch> open_watch_;
  RuleSet rules_;
  EventLog& log_;
  MessageFramer framer_;
  ReplyScheduler scheduler_;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_DEVSIM_PLAYER_H_

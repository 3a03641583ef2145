#ifndef ZINDO_CORE_RELAY_H_
#define ZINDO_CORE_RELAY_H_

#include <string>

#include "link/device_message.h"
#include "link/serial_port.h"
#include "link/timed_waits.h"
#include "platform/desktop/logged_message_box.h"
#include "platform/platform.h"

namespace zindo {

// Exit statuses of the relay's process.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitFailure = 1;       // after the failure message
inline constexpr int kExitEarlyFailure = 2;  // request file not writable

// The failure message: something went wrong, perhaps a second copy of the
// program; close earlier copies and start again.
inline constexpr char kFailureMessage[] =
    "חלה שגיאה-יתכן שזו פתיחה נוספת של התוכנה. סגור פתיחות קודמות והפעל "
    "מחדש";

// The whole run of the relay: start-up, the service loop, and either the
// normal end or the one failure path.
class Relay {
 public:
  explicit Relay(const Platform& platform);

  // Runs the relay until it ends and returns the process's exit status.
  // Nothing escapes: every failure ends in a status.
  int Run();

  // Why the relay did not start, when Run returned kExitEarlyFailure; the
  // same words as its diagnostic line.
  const std::string& early_failure() const { return early_failure_; }

 private:
  // What a poll found: nothing yet, a reply from the device, or a request
  // from the companion.
  enum class PollResult { kNothing, kReply, kRequest };

  bool AskRunningRelayToQuit();
  void PrepareWorkDirectory();
  void SelectPort();
  void StartServing();
  void ServiceLoop();
  PollResult PollUntilWork();
  bool LookForRequest();
  void ReportPassedOver();
  PollResult PollPort(std::string& reply);
  bool HandleRequest();
  void SendRequest(const std::string& request);
  int Serve();
  int EndNormally();
  void StopServing();
  void TakeFailurePath(const std::string& cause);
  void TraceEvent(const std::string& event);
  void Report(const std::string& line);
  void ReportFailure(const std::string& cause);

  Platform platform_;
  // Every message the relay shows is in its log too.
  LoggedMessageBox message_box_;
  TimedWaits waits_;
  SerialPort port_;
  // Built once, before anything else, and never changed.
  const DevicePackets packets_;
  const std::string quit_request_;
  std::string early_failure_;
  // What stands under the request's name when it is no file, once reported.
  std::string ignored_request_;
};

}  // namespace zindo

#endif  // ZINDO_CORE_RELAY_H_

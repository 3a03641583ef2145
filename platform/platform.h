#ifndef ZINDO_PLATFORM_PLATFORM_H_
#define ZINDO_PLATFORM_PLATFORM_H_

#include <memory>
#include <string>

#include "platform/desktop/desktop.h"
#include "platform/desktop/message_box.h"
#include "platform/files/drives.h"
#include "platform/files/file_system.h"
#include "platform/files/user_files.h"
#include "platform/programs/launcher.h"
#include "platform/programs/programs.h"
#include "platform/serial/serial_device.h"
#include "platform/surroundings.h"
#include "platform/system/clock.h"
#include "platform/system/event_pump.h"
#include "platform/system/failure_log.h"
#include "platform/system/process.h"
#include "platform/system/trace.h"

namespace zindo {

// The operating-system services the relay uses, one interface each. The
// relay's logic sees only these references.
struct Platform {
  Clock& clock;
  EventPump& events;
  FileSystem& files;
  SerialPorts& ports;
  MessageBox& message_box;
  Launcher& launcher;
  Process& process;
  Trace& trace;
  FailureLog& log;
};

// Owns the services of the machine the relay runs on. The only place that
// names the implementations is the factory that makes it.
class SystemPlatform {
 public:
  virtual ~SystemPlatform() = default;
  virtual Platform& Get() = 0;

  // What running a DOS companion in an emulator takes besides: other
  // programs, the drives its DOS paths name, the user's files of settings
  // and the windows on the desktop.
  virtual Programs& programs() = 0;
  virtual Drives& drives() = 0;
  virtual UserFiles& user_files() = 0;
  virtual Desktop& desktop() = 0;

  // What a start-up check looks at, without changing anything.
  virtual Surroundings& surroundings() = 0;
};

// Builds the services of this machine, with `log` as the relay's log.
// Throws Error when one of them cannot be set up (for example when the
// prefix cannot be found).
std::unique_ptr<SystemPlatform> CreateSystemPlatform(FailureLog& log);

enum class EarlyText {
  kAnswer,   // what the user asked for: --help, --version
  kReport,   // an answer of many lines that the user reads at leisure: --check
  kFailure,  // why the relay will not start
  // Why the relay stopped before it could take its failure path, which its
  // diagnostic line has already said.
  kReportedFailure,
};

// Shows `text` (lines, each ending in a line end) from outside the relay's
// run: an answer or report on standard output, a failure on standard
// error. On Windows the relay is a windowed program that usually has
// neither, and its diagnostics go to the debugger; started from a console
// it answers there only, as a console program does. Given a file or a pipe
// instead (a script that runs it), it writes there and returns, a failure
// on standard output when there is no standard error. With none of these,
// a failure or an answer is shown in a message box, and a report in a
// window whose text can be selected and copied.
void ShowEarlyText(const std::string& text, EarlyText kind);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PLATFORM_H_

#ifndef ZINDO_PLATFORM_SYSTEM_PROCESS_WIN32_H_
#define ZINDO_PLATFORM_SYSTEM_PROCESS_WIN32_H_

#include <functional>
#include <string>

#include "platform/system/process.h"

namespace zindo {

// The relay is a windowed program without a console of its own, so
// diagnostics go to the debugger output (DebugView and debuggers show it),
// and also to standard error when whoever started the relay gave it one or
// started it from a console.
class Win32Process : public Process {
 public:
  void WriteDiagnosticLine(const std::string& line) override;
  // Runs what was asked for with BeforeExit, then ends the process.
  [[noreturn]] void Exit(int status) override;

  // Asks Exit to run `last` first: Exit ends the process without
  // destroying what main holds.
  void BeforeExit(std::function<void()> last) { last_ = std::move(last); }

 private:
  std::function<void()> last_;
};

// Writes `text` to standard output (`output`) or standard error: UTF-16 to
// a console, UTF-8 bytes to a file or pipe. False when the relay has no
// such stream, as a windowed program started from Explorer has not.
// Attaches it to the console of whoever started it, when that has one.
bool WriteToStandardStream(bool output, const std::string& text);

// Whether the relay has a standard output (`output`) or error that leads
// somewhere: a console, a file or a pipe.
bool HasStandardStream(bool output);

// The environment variable `name`, or "" when it is not set.
std::string EnvironmentVariable(const wchar_t* name);

// Whether the relay was started from a console (cmd, PowerShell, a batch
// file). The first call attaches the relay to that console, and points the
// standard streams that were not redirected at it, so that the relay
// answers there as a console program does; a Ctrl+C there is then a stop
// request. The platform makes that first call as it is built, so that a
// relay started from a console belongs to it from the start, whatever it
// says later. Never fails.
bool StartedFromConsole();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_PROCESS_WIN32_H_

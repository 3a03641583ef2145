#ifndef ZINDO_PLATFORM_SYSTEM_PROCESS_H_
#define ZINDO_PLATFORM_SYSTEM_PROCESS_H_

#include <string>

#include "base/program_name.h"

namespace zindo {

// The relay's own process.
class Process {
 public:
  virtual ~Process() = default;

  // Writes `line` (UTF-8, no line end) as one diagnostic line, after the
  // program's name and ": ", so that the user can tell whose it is. Never
  // fails.
  void ReportDiagnostic(const std::string& line) {
    WriteDiagnosticLine(DiagnosticLine(line));
  }

  // Writes `line` as it is, with a line end, where the platform keeps
  // diagnostics: standard error, or the debugger output for a program
  // without a console. One write, so that lines from several processes do
  // not interleave. Never fails.
  virtual void WriteDiagnosticLine(const std::string& line) = 0;

  // Ends the process with `status`. Does not return in a real process; a fake
  // may throw to unwind a test.
  virtual void Exit(int status) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_PROCESS_H_

#ifndef ZINDO_PLATFORM_PROCESS_H_
#define ZINDO_PLATFORM_PROCESS_H_

#include <string>

namespace zindo {

// The relay's own process.
class Process {
 public:
  virtual ~Process() = default;

  // Writes one diagnostic line (UTF-8, no line end) where the platform keeps
  // them: standard error, or the debugger output for a program without a
  // console. Never fails.
  virtual void ReportDiagnostic(const std::string& line) = 0;

  // Ends the process with `status`. Does not return in a real process; a fake
  // may throw to unwind a test.
  virtual void Exit(int status) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROCESS_H_

#ifndef ZINDO_PLATFORM_SYSTEM_PROCESS_POSIX_H_
#define ZINDO_PLATFORM_SYSTEM_PROCESS_POSIX_H_

#include <unistd.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/system/process.h"

namespace zindo {

// The value of the environment variable `name`; "" when it is not set.
std::string EnvironmentVariable(const char* name);

// Diagnostics go to `diagnostic_fd`, standard error unless a test says
// otherwise.
class PosixProcess : public Process {
 public:
  explicit PosixProcess(int diagnostic_fd = STDERR_FILENO)
      : diagnostic_fd_(diagnostic_fd) {}

  void WriteDiagnosticLine(const std::string& line) override;
  // Runs what was asked for with BeforeExit, then ends the process.
  [[noreturn]] void Exit(int status) override;

  // `last` runs just before the process ends through Exit.
  void BeforeExit(std::function<void()> last) { last_ = std::move(last); }

 private:
  int diagnostic_fd_;
  std::function<void()> last_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_PROCESS_POSIX_H_

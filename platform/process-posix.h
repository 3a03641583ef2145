#ifndef ZINDO_PLATFORM_PROCESS_POSIX_H_
#define ZINDO_PLATFORM_PROCESS_POSIX_H_

#include <unistd.h>

#include <string>

#include "platform/process.h"

namespace zindo {

// Diagnostics go to `diagnostic_fd`, standard error unless a test says
// otherwise.
class PosixProcess : public Process {
 public:
  explicit PosixProcess(int diagnostic_fd = STDERR_FILENO)
      : diagnostic_fd_(diagnostic_fd) {}

  void WriteDiagnosticLine(const std::string& line) override;
  [[noreturn]] void Exit(int status) override;

 private:
  int diagnostic_fd_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROCESS_POSIX_H_

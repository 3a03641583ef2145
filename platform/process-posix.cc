#include "platform/process-posix.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/descriptor-posix.h"

namespace zindo {

void PosixProcess::ReportDiagnostic(const std::string& line) {
  // One write, so that lines from several processes sharing the terminal
  // or log do not interleave.
  WriteAll(diagnostic_fd_, line + "\n");
}

void PosixProcess::Exit(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace zindo

#include "platform/system/process-posix.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/descriptor-posix.h"

namespace zindo {

void PosixProcess::WriteDiagnosticLine(const std::string& line) {
  WriteAll(diagnostic_fd_, line + "\n");
}

void PosixProcess::Exit(int status) {
  if (last_) last_();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::exit(status);
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

}  // namespace zindo

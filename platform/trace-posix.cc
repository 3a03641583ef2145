#include "platform/trace-posix.h"

#include <fcntl.h>
#include <time.h>

#include <cerrno>
#include <cstdio>

#include "platform/error.h"

namespace zindo {

std::string LocalTimeOfDay() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour,
                local.tm_min, local.tm_sec, now.tv_nsec / 1'000'000);
  return text;
}

void PosixTrace::Record(const std::string& event) {
  if (failed_ || (!fd_.valid() && !Open())) return;
  const int error = WriteAll(fd_.get(), LocalTimeOfDay() + " " + event + "\n");
  if (error != 0) Fail("write", error);
}

// Non-blocking, so that a trace named after a pipe nobody reads fails at
// once instead of holding the relay up.
bool PosixTrace::Open() {
  fd_ = UniqueFd(::open(path_.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK,
                        0644));
  if (!fd_.valid()) Fail("open", errno);
  return fd_.valid();
}

void PosixTrace::Fail(const std::string& what, int error_number) {
  failed_ = true;
  fd_ = UniqueFd();
  process_.ReportDiagnostic(
      std::string(
          SystemError(what + " trace file " + path_, error_number).what()) +
      "; tracing stops");
}

}  // namespace zindo

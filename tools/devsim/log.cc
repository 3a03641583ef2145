#include "tools/devsim/log.h"

#include <cerrno>
#include <cstring>

#include "tools/tool_support.h"

namespace zindo::tools {

EventLog::EventLog()
    : out_(stdout), name_("standard output"), owns_out_(false) {}

EventLog::EventLog(const std::string& path)
    : out_(std::fopen(path.c_str(), "a")), name_(path), owns_out_(true) {
  if (out_ == nullptr) FallBack(errno);
}

EventLog::~EventLog() {
  if (owns_out_) std::fclose(out_);
}

void EventLog::Write(std::string_view text) {
  const std::string line = LocalTimeOfDay() + "  " + std::string(text) + "\n";
  errno = 0;
  const bool written = std::fputs(line.c_str(), out_) >= 0;
  if (written && std::fflush(out_) == 0) return;
  if (out_ == stderr) return;  // nowhere left to report to
  FallBack(errno);
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
}

void EventLog::FallBack(int error) {
  std::fprintf(stderr,
               "zindo-devsim: cannot write the log to %s (%s); logging to "
               "standard error from now on\n",
               name_.c_str(), std::strerror(error));
  if (owns_out_ && out_ != nullptr) std::fclose(out_);
  out_ = stderr;
  name_ = "standard error";
  owns_out_ = false;
}

}  // namespace zindo::tools

#ifndef ZINDO_PLATFORM_TRACE_POSIX_H_
#define ZINDO_PLATFORM_TRACE_POSIX_H_

#include <string>

#include "platform/descriptor-posix.h"
#include "platform/process.h"
#include "platform/trace.h"

namespace zindo {

// A trace appended to the file `path`, which is opened at the first event and
// kept open for the rest of the run. Each line goes out in one write, so
// lines from two relays sharing a file do not mix. A file that cannot be
// opened or written is reported through `process` once, then left alone.
class PosixTrace : public Trace {
 public:
  PosixTrace(std::string path, Process& process)
      : path_(std::move(path)), process_(process) {}

  bool enabled() const override { return !failed_; }
  void Record(const std::string& event) override;

 private:
  bool Open();
  void Fail(const std::string& what, int error_number);

  std::string path_;
  Process& process_;
  UniqueFd fd_;
  bool failed_ = false;
};

// "HH:MM:SS.mmm" of the local time now.
std::string LocalTimeOfDay();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_TRACE_POSIX_H_

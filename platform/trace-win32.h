#ifndef ZINDO_PLATFORM_TRACE_WIN32_H_
#define ZINDO_PLATFORM_TRACE_WIN32_H_

#include <string>

#include "platform/handle-win32.h"
#include "platform/process.h"
#include "platform/trace.h"
#include "platform/windows-win32.h"

namespace zindo {

// A trace appended to the file `path` (UTF-8), opened at the first event and
// kept open for the rest of the run. The file is opened for appending only,
// so each line goes to the end in one write and lines from two relays
// sharing a file do not mix; others may read and write it meanwhile. A file
// that cannot be opened or written is reported through `process` once, then
// left alone.
class Win32Trace : public Trace {
 public:
  Win32Trace(std::string path, Process& process)
      : path_(std::move(path)), process_(process) {}

  bool enabled() const override { return !failed_; }
  void Record(const std::string& event) override;

 private:
  bool Open();
  void Fail(const std::string& what, DWORD code);

  std::string path_;
  Process& process_;
  UniqueHandle file_;
  bool failed_ = false;
};

// "HH:MM:SS.mmm" of the local time now.
std::string LocalTimeOfDay();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_TRACE_WIN32_H_

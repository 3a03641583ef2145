#ifndef ZINDO_PLATFORM_SYSTEM_TRACE_H_
#define ZINDO_PLATFORM_SYSTEM_TRACE_H_

#include <memory>
#include <string>
#include <utility>

#include "platform/system/append_file.h"
#include "platform/system/process.h"

namespace zindo {

// A log of what passes through the relay, kept only when the user asks for
// one, for looking into a problem with the companion or the device. Without
// it the relay writes no log at all.
class Trace {
 public:
  virtual ~Trace() = default;

  // Whether events are kept. Callers may skip describing an event when not.
  virtual bool enabled() const = 0;

  // Appends one line: the time of day to the millisecond, then `event`.
  // Never throws and never holds the relay up: a trace that cannot be written
  // is reported once as a diagnostic and then no longer kept.
  virtual void Record(const std::string& event) = 0;
};

// The trace that keeps nothing.
class NoTrace : public Trace {
 public:
  bool enabled() const override { return false; }
  void Record(const std::string&) override {}
};

// A trace appended to the file `path`, which is opened at the first event
// and kept open for the rest of the run. Each line goes out in one write, so
// lines from two relays sharing a file do not mix. A file that cannot be
// opened or written is reported through `process` once, then left alone.
class FileTrace : public Trace {
 public:
  FileTrace(std::string path, Process& process)
      : path_(std::move(path)), process_(process) {}

  bool enabled() const override { return !failed_; }
  void Record(const std::string& event) override;

 private:
  std::string path_;
  Process& process_;
  std::unique_ptr<AppendFile> file_;
  bool failed_ = false;
};

// Bytes as decimal values separated by spaces, for trace lines.
std::string DecimalBytes(const std::string& bytes);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_TRACE_H_

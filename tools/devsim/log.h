#ifndef ZINDO_TOOLS_DEVSIM_LOG_H_
#define ZINDO_TOOLS_DEVSIM_LOG_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace zindo::tools {

// zindo-devsim's log: one line per event, stamped with the local time and
// flushed at once, so that whoever follows it sees each event as it
// happens. When the log cannot be written (disk full, file gone, reader of
// standard output gone) it says so once on standard error and carries on
// there: a simulator that stopped over its log would look to the relay like
// a device gone silent.
class EventLog {
 public:
  // Logs to standard output.
  EventLog();
  // Appends to the file at `path`, or falls back at once if it cannot be
  // opened.
  explicit EventLog(const std::string& path);
  ~EventLog();

  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  void Write(std::string_view text);

 private:
  void FallBack(int error);

  std::FILE* out_;
  std::string name_;
  bool owns_out_;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_DEVSIM_LOG_H_

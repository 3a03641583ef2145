#ifndef ZINDO_PLATFORM_SYSTEM_FAILURE_LOG_H_
#define ZINDO_PLATFORM_SYSTEM_FAILURE_LOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace zindo {

// Where the relay's log is kept, native paths; all "" when this user has no
// place for it.
struct FailureLogPlace {
  std::string folder;  // made, with the folders above it, at the first line
  std::string path;    // the log
  std::string older;   // the log before it, set aside when it grew too long
};

// The user's usual place for a program's logs: $XDG_STATE_HOME/zindo-relay
// (by default ~/.local/state/zindo-relay) on Linux, %LOCALAPPDATA%\zindo-relay
// on Windows. Reads the environment only.
FailureLogPlace FailureLogPlaceHere();

// What the user needs when the relay has ended where nobody saw its
// diagnostics (a Windows program has no console; a menu launcher's output
// goes to the journal): why it ended, and which messages it showed, each
// with the local date and time.
class FailureLog {
 public:
  virtual ~FailureLog() = default;

  // The log's native path, "" when there is no place for it.
  virtual std::string path() const = 0;

  // Appends the line that says why the relay ends: `cause`, the words of
  // its diagnostic line. Never throws and never holds the relay up.
  virtual void RecordFailure(const std::string& cause) = 0;

  // Appends the line that says the message `text` was shown, and `why`
  // when it is not "" (what made the relay show it). Never throws.
  virtual void RecordMessage(const std::string& text,
                             const std::string& why) = 0;

  // The last failure line of the log, with its date and time ("2026-12-08
  // 14:03:22 open COM3: ..."), however many messages follow it, from the
  // log set aside when the current one holds none; "" when neither holds
  // one. Reads only: makes no folder or file. Throws Error when the log is
  // there but cannot be read.
  virtual std::string LastFailure() = 0;
};

// The log kept in the files of `place`. Each line is the local date and time
// to the second, a space and the text (UTF-8, one line: line breaks in it
// become spaces), appended in one write; a message's line is "message
// shown: TEXT", or "message shown (WHY): TEXT". The folder is made at the
// first line; a log that has grown past `limit_bytes` is set aside as
// `older`, replacing the one there, and started afresh. Several relays may
// keep one log at once, each with its own FileFailureLog: no line is lost
// or set aside twice. A log that cannot be written is said once through
// `report` (when given) and then no longer kept, so that it never hides the
// failure it was to record.
class FileFailureLog : public FailureLog {
 public:
  static constexpr std::uint64_t kLimitBytes = 1024 * 1024;

  FileFailureLog(FailureLogPlace place,
                 std::function<void(const std::string&)> report,
                 std::uint64_t limit_bytes = kLimitBytes)
      : place_(std::move(place)),
        report_(std::move(report)),
        limit_bytes_(limit_bytes) {}

  std::string path() const override { return place_.path; }
  void RecordFailure(const std::string& cause) override;
  void RecordMessage(const std::string& text, const std::string& why) override;
  std::string LastFailure() override;

 private:
  void Append(const std::string& text);
  void AppendToFile(const std::string& line);
  bool SetAside();
  std::string LineStart() const;

  FailureLogPlace place_;
  std::function<void(const std::string&)> report_;
  std::uint64_t limit_bytes_;
  bool failed_ = false;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_FAILURE_LOG_H_

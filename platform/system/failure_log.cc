#include "platform/system/failure_log.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/error.h"
#include "platform/system/append_file.h"
#include "platform/system/clock.h"

namespace zindo {
namespace {

// What follows the date and time on the line of a message shown.
constexpr char kMessageMark[] = "message shown";
// The log is searched for its last failure from the end, this much at a
// time, however many messages came after it.
constexpr std::size_t kReadBytes = 64 * 1024;
// How often an append starts again because another relay set the log
// aside meanwhile, before it appends to whatever file it holds.
constexpr int kAttempts = 4;

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// The lines of `bytes` with text, without their line ends.
std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    std::string line = bytes.substr(start, end - start);
    if (line.ends_with('\r')) line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The last line of `bytes`, whole lines of a log, that is no message line;
// "" when there is none.
std::string LastFailureIn(const std::string& bytes) {
  // Each line starts with "YYYY-MM-DD HH:MM:SS ".
  constexpr std::size_t kTextStart = 20;
  const std::vector<std::string> lines = Lines(bytes);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    const std::string text = line->substr(std::min(kTextStart, line->size()));
    if (!text.starts_with(kMessageMark)) return *line;
  }
  return "";
}

// The last failure line of the file `path`, read backwards a part at a
// time; "" when it holds none or is missing.
std::string LastFailureInFile(const std::string& path) {
  std::uint64_t end = UINT64_MAX;
  std::string cut;  // the start of the part after, up to its first line end
  for (;;) {
    const std::optional<FilePart> part = ReadFilePart(path, end, kReadBytes);
    if (!part) return "";
    std::string bytes = part->bytes + cut;
    const std::size_t first_end = part->start == 0 ? 0 : bytes.find('\n');
    if (first_end == std::string::npos) {
      cut = std::move(bytes);  // one line so far, not yet whole
    } else {
      const std::size_t whole = part->start == 0 ? 0 : first_end + 1;
      std::string last = LastFailureIn(bytes.substr(whole));
      if (!last.empty() || part->start == 0) return last;
      cut = bytes.substr(0, first_end);
    }
    end = part->start;
  }
}

}  // namespace

void FileFailureLog::RecordFailure(const std::string& cause) {
  Append(OneLine(cause));
}

void FileFailureLog::RecordMessage(const std::string& text,
                                   const std::string& why) {
  const std::string reason = why.empty() ? "" : " (" + OneLine(why) + ")";
  Append(kMessageMark + reason + ": " + OneLine(text));
}

// Any failure ends the log: what it records has been said already, on
// standard error or in a message box.
void FileFailureLog::Append(const std::string& text) {
  if (failed_ || place_.path.empty()) return;
  try {
    AppendToFile(LocalDateAndTime() + " " + text + TextLineEnd());
  } catch (const Error& failure) {
    failed_ = true;
    if (report_) report_(std::string(failure.what()) + "; the log stops");
  }
}

// Every relay that appends takes the log's lock first, so that the look at
// its size, setting it aside and the line are one step: two relays that
// find it full set it aside once, and a line is never written into a log
// that has been set aside meanwhile. A log that cannot be set aside (a
// reader on Windows that does not let it be renamed) grows on.
void FileFailureLog::AppendToFile(const std::string& line) {
  const std::string name = "log " + place_.path;
  MakeFolders(place_.folder);
  for (int attempt = 1;; ++attempt) {
    std::unique_ptr<AppendFile> file = OpenAppendFile(place_.path, name);
    file->Lock();
    const bool last = attempt == kAttempts;
    if (!last && !file->IsNamed(place_.path)) continue;
    if (!last && file->Size() >= limit_bytes_ && SetAside()) continue;
    file->Append(LineStart() + line);
    return;
  }
}

bool FileFailureLog::SetAside() {
  try {
    RenameOver(place_.path, place_.older);
    return true;
  } catch (const Error&) {
    return false;
  }
}

// A line cut short (a full disk, a relay killed while writing) is ended
// first, so that the next line stands on its own.
std::string FileFailureLog::LineStart() const {
  const std::optional<FilePart> end = ReadFilePart(place_.path, UINT64_MAX, 1);
  if (!end || end->bytes.empty() || end->bytes.back() == '\n') return "";
  return TextLineEnd();
}

std::string FileFailureLog::LastFailure() {
  for (const std::string* path : {&place_.path, &place_.older}) {
    if (path->empty()) continue;
    std::string last = LastFailureInFile(*path);
    if (!last.empty()) return last;
  }
  return "";
}

}  // namespace zindo

#include "platform/system/failure_log.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/error.h"
#include "platform/system/append_file.h"
#include "platform/system/clock.h"

namespace zindo {
namespace {

// What follows the date and time on the line of a message shown.
constexpr char kMessageMark[] = "message shown: ";
// Enough of the log's end to hold its last failure, however many messages
// came after it.
constexpr std::size_t kEndReadBytes = 64 * 1024;

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// The lines of `bytes` with text, without their line ends. When `cut`,
// the first line may be a part of one, and is left out.
std::vector<std::string> Lines(const std::string& bytes, bool cut) {
  std::vector<std::string> lines;
  std::size_t start = cut ? bytes.find('\n') : 0;
  if (start == std::string::npos) return lines;
  if (cut) ++start;
  while (start < bytes.size()) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    std::string line = bytes.substr(start, end - start);
    if (line.ends_with('\r')) line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The last line of `bytes`, a log's end, that is no message line; "" when
// there is none.
std::string LastFailureIn(const std::string& bytes, bool cut) {
  // Each line starts with "YYYY-MM-DD HH:MM:SS ".
  constexpr std::size_t kTextStart = 20;
  const std::vector<std::string> lines = Lines(bytes, cut);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    const std::string text = line->substr(std::min(kTextStart, line->size()));
    if (!text.starts_with(kMessageMark)) return *line;
  }
  return "";
}

}  // namespace

void FileFailureLog::RecordFailure(const std::string& cause) {
  Append(OneLine(cause));
}

void FileFailureLog::RecordMessage(const std::string& text) {
  Append(kMessageMark + OneLine(text));
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

void FileFailureLog::AppendToFile(const std::string& line) {
  const std::string name = "log " + place_.path;
  MakeFolders(place_.folder);
  std::unique_ptr<AppendFile> file = OpenAppendFile(place_.path, name);
  if (file->Size() >= kLimitBytes) {
    file.reset();
    RenameOver(place_.path, place_.older);
    file = OpenAppendFile(place_.path, name);
  }
  file->Append(line);
}

std::string FileFailureLog::LastFailure() {
  for (const std::string* path : {&place_.path, &place_.older}) {
    if (path->empty()) continue;
    const std::optional<std::string> end = ReadFileEnd(*path, kEndReadBytes);
    if (!end) continue;
    std::string last = LastFailureIn(*end, end->size() == kEndReadBytes);
    if (!last.empty()) return last;
  }
  return "";
}

}  // namespace zindo

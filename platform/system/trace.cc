#include "platform/system/trace.h"

#include "base/error.h"
#include "platform/system/clock.h"

namespace zindo {

// Any failure ends the trace: it is a help for looking into a problem, and
// must not become one.
void FileTrace::Record(const std::string& event) {
  if (failed_) return;
  try {
    if (file_ == nullptr) file_ = OpenAppendFile(path_, "trace file " + path_);
    file_->Append(LocalTimeOfDay() + " " + event + TextLineEnd());
  } catch (const Error& failure) {
    failed_ = true;
    file_.reset();
    process_.ReportDiagnostic(std::string(failure.what()) + "; tracing stops");
  }
}

std::string DecimalBytes(const std::string& bytes) {
  std::string text;
  text.reserve(4 * bytes.size());
  for (char byte : bytes) {
    if (!text.empty()) text += ' ';
    text += std::to_string(static_cast<unsigned char>(byte));
  }
  return text;
}

}  // namespace zindo

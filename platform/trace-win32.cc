#include "platform/trace-win32.h"

#include <cstdio>

#include "platform/error-win32.h"
#include "platform/unicode-win32.h"

namespace zindo {

std::string LocalTimeOfDay() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

void Win32Trace::Record(const std::string& event) {
  if (failed_ || (!file_.valid() && !Open())) return;
  std::string line = LocalTimeOfDay() + " " + event + "\r\n";
  DWORD written = 0;
  if (!::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()),
                   &written, nullptr)) {
    Fail("write", ::GetLastError());
  } else if (written != line.size()) {
    Fail("write", ERROR_WRITE_FAULT);
  }
}

bool Win32Trace::Open() {
  file_ = UniqueHandle(
      ::CreateFileW(ToUtf16(path_).c_str(), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_.valid()) Fail("open", ::GetLastError());
  return file_.valid();
}

void Win32Trace::Fail(const std::string& what, DWORD code) {
  failed_ = true;
  file_.Close();
  process_.ReportDiagnostic(
      std::string(Win32Error(what + " trace file " + path_, code).what()) +
      "; tracing stops");
}

}  // namespace zindo

#include <memory>
#include <string>
#include <utility>

#include "base/program_name.h"
#include "platform/desktop/desktop-win32.h"
#include "platform/desktop/message_box-win32.h"
#include "platform/desktop/report_window-win32.h"
#include "platform/files/drives-win32.h"
#include "platform/files/file_system-win32.h"
#include "platform/files/user_files-win32.h"
#include "platform/platform.h"
#include "platform/programs/launcher-win32.h"
#include "platform/programs/programs-win32.h"
#include "platform/serial/serial_device-win32.h"
#include "platform/surroundings-win32.h"
#include "platform/system/clock-win32.h"
#include "platform/system/event_pump-win32.h"
#include "platform/system/process-win32.h"
#include "platform/system/stop_requests-win32.h"
#include "platform/system/trace.h"
#include "platform/system/watch_list-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

std::string CurrentDirectory() {
  DWORD length = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring path(length, L'\0');
  length = ::GetCurrentDirectoryW(length, path.data());
  if (length == 0) throw LastWin32Error("find the working directory");
  path.resize(length);
  return ToUtf8(path);
}

// A trace only when the user names a file for it.
std::unique_ptr<Trace> MakeTrace(const std::string& path, Process& process) {
  if (path.empty()) return std::make_unique<NoTrace>();
  return std::make_unique<FileTrace>(path, process);
}

class Win32SystemPlatform : public SystemPlatform {
 public:
  Win32SystemPlatform(const std::string& working_directory,
                      const std::string& trace_path, FailureLog& log)
      : watch_list_(std::make_shared<WatchList>()),
        events_(working_directory, watch_list_, &stop_requests_),
        files_(working_directory, watch_list_),
        ports_(working_directory, watch_list_),
        message_box_(&stop_requests_),
        launcher_(files_),
        drives_(files_),
        user_files_(files_),
        surroundings_(working_directory, ports_),
        trace_(MakeTrace(trace_path, process_)),
        platform_{clock_,    events_,  files_,  ports_, message_box_,
                  launcher_, process_, *trace_, log} {
    process_.BeforeExit([this] { programs_.RemoveHandedFiles(); });
  }

  Platform& Get() override { return platform_; }
  Programs& programs() override { return programs_; }
  Drives& drives() override { return drives_; }
  UserFiles& user_files() override { return user_files_; }
  Desktop& desktop() override { return desktop_; }
  Surroundings& surroundings() override { return surroundings_; }

 private:
  // First, so that the relay can be asked to end from here on.
  Win32StopRequests stop_requests_;
  std::shared_ptr<WatchList> watch_list_;
  Win32Clock clock_;
  Win32EventPump events_;
  Win32FileSystem files_;
  Win32SerialPorts ports_;
  Win32MessageBox message_box_;
  Win32Launcher launcher_;
  Win32Programs programs_;
  Win32Drives drives_;
  Win32UserFiles user_files_;
  Win32Desktop desktop_;
  Win32Surroundings surroundings_;
  Win32Process process_;
  std::unique_ptr<Trace> trace_;
  Platform platform_;
};

}  // namespace

// Whether the relay belongs to its starter's console is settled here, before
// any stop request can come: a Ctrl+C there then ends it the same way
// whether or not it has said anything.
std::unique_ptr<SystemPlatform> CreateSystemPlatform(FailureLog& log) {
  StartedFromConsole();
  return std::make_unique<Win32SystemPlatform>(
      CurrentDirectory(), EnvironmentVariable(L"ZINDO_TRACE"), log);
}

namespace {

// Whether `text` has reached whoever reads the relay's standard streams: a
// console, or the file or pipe of a script that started it. A failure goes
// to standard output when there is no standard error; a reported failure
// is on standard error already.
bool Delivered(const std::string& text, EarlyText kind, bool answer) {
  if (kind == EarlyText::kReportedFailure && HasStandardStream(false)) {
    return true;
  }
  return WriteToStandardStream(answer, text) ||
         (!answer && WriteToStandardStream(true, text));
}

}  // namespace

// A box that waits for OK would keep a console's command, or a script that
// reads the output, from going on: the box is only for a relay whose text
// would otherwise reach nobody.
void ShowEarlyText(const std::string& text, EarlyText kind) {
  const bool answer = kind == EarlyText::kAnswer || kind == EarlyText::kReport;
  if (Delivered(text, kind, answer) || StartedFromConsole()) return;
  if (kind == EarlyText::kReport &&
      ShowReportWindow("Check " + std::string(kProgramName), text)) {
    return;
  }
  // A box that cannot be shown (no interactive desktop) returns at once.
  ::MessageBoxW(
      nullptr, ToUtf16(text).c_str(), ToUtf16(kProgramName).c_str(),
      MB_OK | MB_SETFOREGROUND | (answer ? MB_ICONINFORMATION : MB_ICONERROR));
}

}  // namespace zindo

#include "platform/platform-posix.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <utility>

#include "base/error.h"
#include "platform/desktop/desktop-posix.h"
#include "platform/desktop/message_box-posix.h"
#include "platform/files/directory_source-posix.h"
#include "platform/files/drives-posix.h"
#include "platform/files/file_system-posix.h"
#include "platform/files/user_files-posix.h"
#include "platform/platform.h"
#include "platform/programs/launcher-posix.h"
#include "platform/programs/programs-posix.h"
#include "platform/serial/serial_device-posix.h"
#include "platform/surroundings-posix.h"
#include "platform/system/clock-posix.h"
#include "platform/system/event_pump-posix.h"
#include "platform/system/process-posix.h"
#include "platform/system/stop_signals-posix.h"
#include "platform/system/trace.h"
#include "platform/system/watch_list-posix.h"

namespace zindo {
namespace {

std::string CurrentDirectory() {
  char path[PATH_MAX];
  if (::getcwd(path, sizeof path) == nullptr) {
    throw SystemError("find the working directory", errno);
  }
  return path;
}

// Where the relay's messages may go as desktop dialogs.
DesktopEnvironment DesktopFromEnvironment() {
  return {EnvironmentVariable("DISPLAY"),
          EnvironmentVariable("WAYLAND_DISPLAY"), EnvironmentVariable("PATH")};
}

// A trace only when the user names a file for it.
std::unique_ptr<Trace> MakeTrace(const std::string& path, Process& process) {
  if (path.empty()) return std::make_unique<NoTrace>();
  return std::make_unique<FileTrace>(path, process);
}

// The directories' names, kept from inotify's reports; the event pump waits
// on the same instance.
std::unique_ptr<InotifyDirectorySource> MakeDirectorySource(Process& process) {
  return std::make_unique<InotifyDirectorySource>(
      !EnvironmentVariable("ZINDO_POLL_DIRECTORY").empty(),
      [&process](const std::string& line) { process.ReportDiagnostic(line); });
}

class PosixSystemPlatform : public SystemPlatform {
 public:
  PosixSystemPlatform(const PrefixOrigin& prefix,
                      const std::string& working_directory,
                      const std::string& trace_path, FailureLog& log)
      : watch_list_(std::make_shared<WatchList>()),
        directory_source_(MakeDirectorySource(process_)),
        directory_events_(directory_source_->descriptor()),
        directories_(
            std::make_shared<DirectoryMonitor>(std::move(directory_source_))),
        events_(directories_, directory_events_, watch_list_, &stop_signals_),
        files_(prefix.path, working_directory, directories_),
        ports_(prefix.path, watch_list_),
        message_box_(STDIN_FILENO, STDERR_FILENO, DesktopFromEnvironment(),
                     &stop_signals_),
        launcher_(files_),
        drives_(files_),
        user_files_(files_),
        desktop_(EnvironmentVariable("DISPLAY"),
                 EnvironmentVariable("WAYLAND_DISPLAY")),
        surroundings_(prefix, files_, ports_, DesktopFromEnvironment()),
        trace_(MakeTrace(trace_path, process_)),
        platform_{clock_,    events_,  files_,  ports_, message_box_,
                  launcher_, process_, *trace_, log} {
    process_.BeforeExit([this] { programs_.RemoveHandedFolders(); });
  }

  Platform& Get() override { return platform_; }
  Programs& programs() override { return programs_; }
  Drives& drives() override { return drives_; }
  UserFiles& user_files() override { return user_files_; }
  Desktop& desktop() override { return desktop_; }
  Surroundings& surroundings() override { return surroundings_; }

 private:
  // First, so that a signal from here on asks the relay to end.
  StopSignals stop_signals_;
  PosixProcess process_;
  std::shared_ptr<WatchList> watch_list_;
  std::unique_ptr<InotifyDirectorySource> directory_source_;
  int directory_events_;
  std::shared_ptr<DirectoryMonitor> directories_;
  PosixClock clock_;
  PosixEventPump events_;
  PosixFileSystem files_;
  PosixSerialPorts ports_;
  PosixMessageBox message_box_;
  PosixLauncher launcher_;
  PosixPrograms programs_;
  PosixDrives drives_;
  PosixUserFiles user_files_;
  PosixDesktop desktop_;
  PosixSurroundings surroundings_;
  std::unique_ptr<Trace> trace_;
  Platform platform_;
};

}  // namespace

std::string PrefixFromEnvironment() {
  return PrefixOriginFromEnvironment().path;
}

PrefixOrigin PrefixOriginFromEnvironment() {
  std::string prefix = EnvironmentVariable("ZINDO_PREFIX");
  if (!prefix.empty()) return {prefix, "ZINDO_PREFIX"};
  std::string home = EnvironmentVariable("HOME");
  if (!home.empty()) return {home + "/.zindo", "HOME"};
  throw Error("find the prefix: neither ZINDO_PREFIX nor HOME is set");
}

std::unique_ptr<SystemPlatform> CreateSystemPlatform(FailureLog& log) {
  std::string working_directory = CurrentDirectory();
  PrefixOrigin prefix = PrefixOriginFromEnvironment();
  // The launcher changes directory in the program it starts; paths that
  // stay meaningful there are absolute.
  if (prefix.path.front() != '/') {
    prefix.path = working_directory + "/" + prefix.path;
  }
  return std::make_unique<PosixSystemPlatform>(
      prefix, working_directory, EnvironmentVariable("ZINDO_TRACE"), log);
}

void ShowEarlyText(const std::string& text, EarlyText kind) {
  if (kind == EarlyText::kReportedFailure) return;  // on standard error already
  const bool answer = kind == EarlyText::kAnswer || kind == EarlyText::kReport;
  std::FILE* stream = answer ? stdout : stderr;
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

}  // namespace zindo

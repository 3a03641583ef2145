#include "platform/programs/spawn-posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/programs/program_arguments-posix.h"

namespace zindo {
namespace {

// What the child tells the relay through the report pipe, which exec
// closes: the process id of a detached program, or why the start failed.
struct Report {
  enum Kind : int { kProcessId, kError } kind;
  int value;
};

bool IsExecutableFile(const std::string& file) {
  struct stat status;
  return ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         ::access(file.c_str(), X_OK) == 0;
}

void Send(int report_fd, Report report) {
  ssize_t ignored = ::write(report_fd, &report, sizeof report);
  (void)ignored;
}

[[noreturn]] void ReportAndExit(int report_fd, int error) {
  Send(report_fd, {Report::kError, error});
  ::_exit(127);
}

// Points `target` at /dev/null.
bool ToNull(int target, int flags) {
  int fd = ::open("/dev/null", flags);
  return fd >= 0 && ::dup2(fd, target) >= 0;
}

// Everything here runs between fork and exec: async-signal-safe calls only.
[[noreturn]] void Exec(const SpawnRequest& request, char* const* argv,
                       char* const* envp, int report_fd) {
  // Ignored signals and the blocked set survive exec; give the program the
  // defaults.
  sigset_t no_signals;
  ::sigemptyset(&no_signals);
  ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    ::signal(signal_number, SIG_DFL);
  }
  if ((request.detached && ::setsid() < 0) ||
      (!request.directory.empty() && ::chdir(request.directory.c_str())) ||
      !ToNull(STDIN_FILENO, O_RDONLY) ||
      (request.quiet && (!ToNull(STDOUT_FILENO, O_WRONLY) ||
                         ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0)) ||
      (request.inherited_fd >= 0 &&
       ::fcntl(request.inherited_fd, F_SETFD, 0) != 0)) {
    ReportAndExit(report_fd, errno);
  }
  ::execve(argv[0], argv, envp);
  ReportAndExit(report_fd, errno);
}

// The intermediate child reports the program's process id and exits at
// once, so the program is adopted by init (or the session's subreaper),
// which reaps it when it ends.
[[noreturn]] void StartAdopted(const SpawnRequest& request, char* const* argv,
                               char* const* envp, int report_fd) {
  pid_t grandchild = ::fork();
  if (grandchild < 0) ReportAndExit(report_fd, errno);
  if (grandchild == 0) Exec(request, argv, envp, report_fd);
  Send(report_fd, {Report::kProcessId, grandchild});
  ::_exit(0);
}

void Reap(pid_t child) {
  int status;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// Reads the reports until exec or exit closes the pipe. Returns the reported
// error, or 0, and fills `program_id` when a process id came.
int ReadReports(int report_fd, pid_t& program_id) {
  Report report;
  for (;;) {
    ssize_t got = ::read(report_fd, &report, sizeof report);
    if (got < 0 && errno == EINTR) continue;
    if (got != sizeof report) return 0;
    if (report.kind == Report::kError) return report.value;
    program_id = report.value;
  }
}

}  // namespace

std::string FindProgram(const std::string& program,
                        const std::string& search_path) {
  std::string_view rest = search_path;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string directory(rest.substr(0, colon));
    rest.remove_prefix(colon == std::string_view::npos ? rest.size()
                                                       : colon + 1);
    if (!directory.starts_with('/')) continue;
    const std::string candidate = directory + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return "";
}

pid_t Spawn(SpawnRequest request) {
  const std::string what = "start " + request.arguments.at(0);
  std::vector<char*> argv = ExecPointers(request.arguments);
  std::vector<char*> envp = ExecPointers(request.environment);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw SystemError(what, errno);
  UniqueFd report_read(pipe_fds[0]);
  UniqueFd report_write(pipe_fds[1]);
  pid_t child = ::fork();
  if (child < 0) throw SystemError(what, errno);
  if (child == 0) {
    if (request.detached) {
      StartAdopted(request, argv.data(), envp.data(), report_write.get());
    }
    Exec(request, argv.data(), envp.data(), report_write.get());
  }
  report_write.Close();
  pid_t program_id = child;
  int error = ReadReports(report_read.get(), program_id);
  if (request.detached || error != 0) Reap(child);
  if (error != 0) throw SystemError(what, error);
  return program_id;
}

}  // namespace zindo

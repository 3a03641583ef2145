#include "platform/launcher-posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/descriptor-posix.h"
#include "platform/error.h"

namespace zindo {
namespace {

// What the started program gets, prepared before fork() because only
// async-signal-safe calls may follow it.
struct StartRequest {
  std::string program;
  std::string directory;
  int report_fd;  // Receives the errno of a failed start; closed by exec.
};

[[noreturn]] void ReportAndExit(int report_fd, int error) {
  ssize_t ignored = ::write(report_fd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

[[noreturn]] void ExecProgram(StartRequest& request) {
  // Ignored signals and the blocked set survive exec; give the program
  // the defaults.
  sigset_t no_signals;
  ::sigemptyset(&no_signals);
  ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    ::signal(signal_number, SIG_DFL);
  }
  int null_fd = ::open("/dev/null", O_RDONLY);
  if (::setsid() < 0 || ::chdir(request.directory.c_str()) != 0 ||
      null_fd < 0 || ::dup2(null_fd, STDIN_FILENO) < 0) {
    ReportAndExit(request.report_fd, errno);
  }
  char* argv[] = {request.program.data(), nullptr};
  ::execv(request.program.c_str(), argv);
  ReportAndExit(request.report_fd, errno);
}

// The intermediate child exits at once, so the program is adopted by init
// (or the session's subreaper), which reaps it when it ends.
[[noreturn]] void StartGrandchild(StartRequest& request) {
  pid_t grandchild = ::fork();
  if (grandchild < 0) ReportAndExit(request.report_fd, errno);
  if (grandchild == 0) ExecProgram(request);
  ::_exit(0);
}

void Reap(pid_t child) {
  int status;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// The errno a failed start reported, or 0 once exec closed the pipe.
int ReadReportedError(int report_fd) {
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report_fd, &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  return got == sizeof error ? error : 0;
}

void StartDetached(StartRequest request) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    throw SystemError("start " + request.program, errno);
  }
  UniqueFd report_read(pipe_fds[0]);
  UniqueFd report_write(pipe_fds[1]);
  request.report_fd = report_write.get();
  pid_t child = ::fork();
  if (child < 0) throw SystemError("start " + request.program, errno);
  if (child == 0) StartGrandchild(request);
  report_write.Close();
  Reap(child);
  int error = ReadReportedError(report_read.get());
  if (error != 0) throw SystemError("start " + request.program, error);
}

void CheckExecutable(const std::string& program) {
  struct stat status;
  if (::stat(program.c_str(), &status) != 0) {
    throw SystemError("start " + program, errno);
  }
  if (!S_ISREG(status.st_mode)) {
    throw Error("start " + program + ": not a regular file");
  }
  // Some systems let access() pass any file for root; the mode bits show
  // whether the file is meant to run at all.
  bool has_execute_bit = status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH);
  if (!has_execute_bit || ::access(program.c_str(), X_OK) != 0) {
    throw Error("start " + program + ": not an executable file");
  }
}

}  // namespace

void PosixLauncher::Launch(const std::string& pif_name) {
  const std::string& directory = files_.working_directory();
  std::string program = files_.FindExisting(pif_name);
  if (program.empty()) {
    throw SystemError("start " + pif_name + " in " + directory, ENOENT);
  }
  CheckExecutable(program);
  StartDetached({program, directory, -1});
}

}  // namespace zindo

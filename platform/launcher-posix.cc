#include "platform/launcher-posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/descriptor-posix.h"
#include "platform/dosbox-posix.h"
#include "platform/error.h"
#include "platform/program_arguments-posix.h"
#include "platform/program_information.h"

namespace zindo {
namespace {

// What the started program gets, prepared before fork() because only
// async-signal-safe calls may follow it.
struct StartRequest {
  std::string program;
  std::string directory;
  std::vector<char*> argv;  // Null-terminated.
  std::vector<char*> envp;  // Null-terminated.
  int inherited_fd = -1;    // Kept open across exec when not -1.
  int report_fd = -1;  // Receives the errno of a failed start; closed by exec.
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
  if (request.inherited_fd >= 0 &&
      ::fcntl(request.inherited_fd, F_SETFD, 0) != 0) {
    ReportAndExit(request.report_fd, errno);
  }
  ::execve(request.program.c_str(), request.argv.data(), request.envp.data());
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

// Starts `arguments` (the program's path first) in `directory`, with
// `environment`, keeping `inherited_fd` open in it.
void StartDetached(std::vector<std::string> arguments,
                   std::vector<std::string> environment,
                   const std::string& directory, int inherited_fd = -1) {
  StartRequest request{arguments.front(), directory, ExecPointers(arguments),
                       ExecPointers(environment), inherited_fd};
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

// Whether `program` is meant to run itself (a script, say) rather than be
// read as a DOS program information file. Throws when it is no file.
bool IsMeantToRun(const std::string& program) {
  struct stat status;
  if (::stat(program.c_str(), &status) != 0) {
    throw SystemError("start " + program, errno);
  }
  if (!S_ISREG(status.st_mode)) {
    throw Error("start " + program + ": not a regular file");
  }
  // Some systems let access() pass any file for root; the mode bits show
  // whether the file is meant to run at all.
  if ((status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) return false;
  if (::access(program.c_str(), X_OK) != 0) {
    throw Error("start " + program + ": not an executable file");
  }
  return true;
}

// A file that was not read as a PIF but holds only text is most likely a
// script that lost its run bit (copied from a USB stick, say): the hint
// saves a user from hunting for what is wrong with a "PIF".
std::string RunBitHint(const std::string& bytes, const std::string& path) {
  const bool script = bytes.starts_with("#!");
  const bool text = !bytes.empty() && bytes.find('\0') == std::string::npos;
  if (!script && !text) return "";
  return std::string("; it is ") + (script ? "a script" : "text") +
         ", not a program information file: to run it as it is, make it "
         "executable (chmod +x " +
         path + ")";
}

// A pipe that already holds all of `bytes`, for a program to read from its
// read end, which is returned.
UniqueFd PipeHolding(const std::string& bytes, const std::string& what) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw SystemError(what, errno);
  UniqueFd read_end(pipe_fds[0]);
  UniqueFd write_end(pipe_fds[1]);
  // The settings are far smaller than a pipe's buffer, so this never blocks.
  int error = WriteAll(write_end.get(), bytes);
  if (error != 0) throw SystemError(what, error);
  return read_end;
}

}  // namespace

void PosixLauncher::Launch(const std::string& pif_name) {
  const std::string& directory = files_.working_directory();
  std::string program = files_.FindExisting(pif_name);
  if (program.empty()) {
    throw SystemError("start " + pif_name + " in " + directory, ENOENT);
  }
  if (IsMeantToRun(program)) {
    StartDetached({program}, CurrentEnvironment(), directory);
  } else {
    LaunchInDosbox(pif_name, program);
  }
}

void PosixLauncher::LaunchInDosbox(const std::string& pif_name,
                                   const std::string& native_pif) {
  const std::string what = "start " + native_pif + " in DOSBox";
  ProgramInformation information;
  std::string bytes;
  try {
    bytes = files_.OpenForReading(pif_name)->Read(kMaximumPifSize);
    information = ParseProgramInformation(bytes, native_pif);
  } catch (const Error& failure) {
    throw Error(std::string("start ") + failure.what() +
                RunBitHint(bytes, native_pif));
  }
  const char* search_path = std::getenv("PATH");
  std::string dosbox = FindDosbox(search_path == nullptr ? "" : search_path);
  if (dosbox.empty()) {
    throw Error(what + ": dosbox is not installed (no dosbox on PATH)");
  }
  DosboxRun run{{}, files_.working_directory(), information};
  for (const auto& [letter, native] : files_.MappedDrives()) {
    run.drives.push_back({letter, native});
  }
  UniqueFd config = PipeHolding(DosboxConfig(), what);
  std::vector<std::string> arguments;
  try {
    arguments = DosboxArguments(run, "/dev/fd/" + std::to_string(config.get()));
  } catch (const Error& failure) {
    throw Error(what + ": " + failure.what());
  }
  arguments.insert(arguments.begin(), dosbox);
  StartDetached(arguments, DosboxEnvironment(CurrentEnvironment()),
                files_.working_directory(), config.get());
}

}  // namespace zindo

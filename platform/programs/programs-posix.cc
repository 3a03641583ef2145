#include "platform/programs/programs-posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/programs/program_arguments-posix.h"
#include "platform/programs/spawn-posix.h"

namespace zindo {
namespace {

// How long a program asked for a line (its version) may take to write it.
constexpr int kFirstLineWaitMs = 5000;

// A pipe that already holds all of `bytes`, for a program to read from its
// read end, which is returned.
UniqueFd PipeHolding(const std::string& bytes, const std::string& what) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw SystemError(what, errno);
  UniqueFd read_end(pipe_fds[0]);
  UniqueFd write_end(pipe_fds[1]);
  // Settings files are far smaller than a pipe's buffer, so this never
  // blocks.
  int error = WriteAll(write_end.get(), bytes);
  if (error != 0) throw SystemError(what, error);
  return read_end;
}

// The relay's environment with `settings` in place of the same names.
std::vector<std::string> EnvironmentWith(
    const std::vector<std::string>& settings) {
  std::vector<std::string> environment = CurrentEnvironment();
  for (const std::string& setting : settings) {
    const std::string name = setting.substr(0, setting.find('=') + 1);
    std::erase_if(environment, [&](const std::string& entry) {
      return entry.starts_with(name);
    });
    environment.push_back(setting);
  }
  return environment;
}

// The first line with text in everything `fd` gives before it ends or the
// wait runs out.
std::string FirstLine(int fd) {
  std::string output;
  char buffer[512];
  pollfd ready{fd, POLLIN, 0};
  while (output.size() < 4096 && ::poll(&ready, 1, kFirstLineWaitMs) > 0) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) return line;
  }
  return "";
}

}  // namespace

std::string FirstOutputLine(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return "";
  UniqueFd read_end(pipe_fds[0]);
  UniqueFd write_end(pipe_fds[1]);
  const pid_t child = ::fork();
  if (child < 0) return "";
  if (child == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(write_end.get(), STDOUT_FILENO);
    ::dup2(write_end.get(), STDERR_FILENO);
    ::close(null_fd);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  write_end.Close();
  const std::string line = FirstLine(read_end.get());
  ::kill(child, SIGKILL);  // a program that answered has ended already
  ::waitpid(child, nullptr, 0);
  return line;
}

Programs::Search PosixPrograms::Find(const std::string& name) {
  const char* search_path = std::getenv("PATH");
  const std::string directories = search_path == nullptr ? "" : search_path;
  return {FindProgram(name, directories),
          "for " + name + " on PATH (" + directories + ")"};
}

int PosixPrograms::StartDetached(const ProgramRun& run) {
  const std::string what = "start " + run.arguments.at(0);
  UniqueFd handed = PipeHolding(run.handed_file, what);
  const std::string folder =
      run.handed_folder.empty() ? "" : HandOverFolder(run.handed_folder, what);
  return Spawn({ArgumentsWithHandedPaths(
                    run, "/dev/fd/" + std::to_string(handed.get()), folder),
                EnvironmentWith(run.settings), run.directory, handed.get(),
                /*detached=*/true, /*quiet=*/false});
}

std::string PosixPrograms::HandOverFolder(
    const std::map<std::string, std::string>& files, const std::string& what) {
  const char* temporary = std::getenv("TMPDIR");
  std::string folder =
      std::string(temporary != nullptr && *temporary != '\0' ? temporary
                                                             : "/tmp") +
      "/zindo-relay-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    throw SystemError(what + ": make a folder like " + folder, errno);
  }
  handed_folders_.push_back(folder);
  for (const auto& [name, bytes] : files) {
    const std::string path = folder + "/" + name;
    UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    const int error = fd.valid() ? WriteAll(fd.get(), bytes) : errno;
    if (error != 0) throw SystemError(what + ": write " + path, error);
  }
  return folder;
}

void PosixPrograms::RemoveHandedFolders() {
  for (const std::string& folder : handed_folders_) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  handed_folders_.clear();
}

bool PosixPrograms::IsRunning(int process_id) {
  return ::kill(process_id, 0) == 0 || errno == EPERM;
}

}  // namespace zindo

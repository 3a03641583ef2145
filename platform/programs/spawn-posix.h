#ifndef ZINDO_PLATFORM_PROGRAMS_SPAWN_POSIX_H_
#define ZINDO_PLATFORM_PROGRAMS_SPAWN_POSIX_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace zindo {

// The first executable regular file named `program` in the absolute
// directories of `search_path` (as in $PATH, separated by ':'), or "" when
// there is none. Empty and relative entries are passed over: they name the
// working directory, which holds the companion's files, and a program put
// there must never be run in place of the real one.
std::string FindProgram(const std::string& program,
                        const std::string& search_path);

// How to start a program.
struct SpawnRequest {
  std::vector<std::string> arguments;    // The program's full path first.
  std::vector<std::string> environment;  // "NAME=value" entries, complete.
  std::string directory;                 // "" keeps the relay's own.
  int inherited_fd = -1;  // Kept open in the program when not -1.
  // In its own session, adopted by init and never waited for; otherwise a
  // child of the relay that the caller must wait for.
  bool detached = false;
  // Standard output and error go to /dev/null instead of the relay's.
  bool quiet = false;
};

// Starts the program with standard input on /dev/null, nothing blocked and
// every signal at its default, and returns its process id. Throws Error
// naming the program when it cannot be started (exec's own errors too).
pid_t Spawn(SpawnRequest request);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_SPAWN_POSIX_H_

#ifndef ZINDO_PLATFORM_PROGRAMS_PROGRAM_ARGUMENTS_POSIX_H_
#define ZINDO_PLATFORM_PROGRAMS_PROGRAM_ARGUMENTS_POSIX_H_

#include <string>
#include <vector>

namespace zindo {

// The null-terminated list of pointers into `strings` that exec and
// posix_spawn take. Valid while `strings` lives and is not changed.
std::vector<char*> ExecPointers(std::vector<std::string>& strings);

// This process's environment, one "NAME=value" entry each.
std::vector<std::string> CurrentEnvironment();

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_PROGRAM_ARGUMENTS_POSIX_H_

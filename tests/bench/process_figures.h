#ifndef ZINDO_TESTS_BENCH_PROCESS_FIGURES_H_
#define ZINDO_TESTS_BENCH_PROCESS_FIGURES_H_

#include <sys/types.h>

#include <string>

// What /proc tells about a running process, for the benchmark and the soak.
// Each throws std::runtime_error when the figure cannot be read.
namespace zindo::e2e {

// Nanoseconds the process has spent on a processor.
double CpuNanoseconds(pid_t pid);

// A field such as VmHWM or VmRSS of /proc/PID/status, in KiB.
long StatusKib(pid_t pid, const std::string& field);

// Memory only this process uses: Private_Clean + Private_Dirty of
// /proc/PID/smaps_rollup, in KiB.
long PrivateKib(pid_t pid);

// How many descriptors the process has open.
int OpenDescriptors(pid_t pid);

}  // namespace zindo::e2e

#endif  // ZINDO_TESTS_BENCH_PROCESS_FIGURES_H_

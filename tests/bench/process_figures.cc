#include "tests/bench/process_figures.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zindo::e2e {
namespace {

std::string ProcPath(pid_t pid, const std::string& name) {
  return "/proc/" + std::to_string(pid) + "/" + name;
}

// The sum of the "Field: N kB" lines of `file` whose field is in `fields`.
long SumKib(const std::string& file,
            std::initializer_list<std::string> fields) {
  std::ifstream in(file);
  long total = 0;
  int found = 0;
  for (std::string line; std::getline(in, line);) {
    for (const std::string& field : fields) {
      if (line.starts_with(field + ":")) {
        total += std::stol(line.substr(field.size() + 1));
        ++found;
      }
    }
  }
  if (found != static_cast<int>(fields.size())) {
    throw std::runtime_error("cannot read the fields wanted from " + file);
  }
  return total;
}

}  // namespace

double CpuNanoseconds(pid_t pid) {
  std::ifstream in(ProcPath(pid, "schedstat"));
  double on_cpu = -1;
  if (!(in >> on_cpu)) throw std::runtime_error("cannot read schedstat");
  return on_cpu;
}

long StatusKib(pid_t pid, const std::string& field) {
  return SumKib(ProcPath(pid, "status"), {field});
}

long PrivateKib(pid_t pid) {
  return SumKib(ProcPath(pid, "smaps_rollup"),
                {"Private_Clean", "Private_Dirty"});
}

int OpenDescriptors(pid_t pid) {
  int count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(ProcPath(pid, "fd"))) {
    (void)entry;
    ++count;
  }
  return count;
}

}  // namespace zindo::e2e

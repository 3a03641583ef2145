#include "platform/testing/testing-posix.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zindo::posix_test {
namespace {

namespace fs = std::filesystem;

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = "/tmp/zindo-platform-test-XXXXXX";
  Check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

PseudoTerminal::PseudoTerminal()
    : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  char name[128];
  Check(master_.valid() && ::grantpt(master_.get()) == 0 &&
            ::unlockpt(master_.get()) == 0 &&
            ::ptsname_r(master_.get(), name, sizeof name) == 0,
        "create a pseudo-terminal");
  slave_path_ = name;
  slave_ = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  Check(slave_.valid(), "open " + slave_path_);
}

void InDirectory(const std::string& directory,
                 const std::function<void()>& body) {
  fs::path saved = fs::current_path();
  fs::current_path(directory);
  try {
    body();
  } catch (...) {
    fs::current_path(saved);
    throw;
  }
  fs::current_path(saved);
}

void MakeDirectory(const std::string& path) { fs::create_directory(path); }

void MakeSymlink(const std::string& target, const std::string& link) {
  fs::create_symlink(target, link);
}

void WriteNativeFile(const std::string& path, const std::string& bytes,
                     mode_t mode) {
  std::ofstream(path, std::ios::binary) << bytes;
  fs::permissions(path, static_cast<fs::perms>(mode));
}

std::string ReadNativeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::vector<std::string> ListDirectory(const std::string& directory) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(int fd, std::size_t count,
                      std::chrono::milliseconds limit) {
  const double deadline = MonotonicNow() + Seconds(limit);
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < count && MonotonicNow() < deadline) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, 10) <= 0) continue;
    std::size_t wanted = std::min(sizeof buffer, count - bytes.size());
    ssize_t got = ::read(fd, buffer, wanted);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit) {
  const double deadline = MonotonicNow() + Seconds(limit);
  while (!condition()) {
    if (MonotonicNow() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string AllByteValues() {
  std::string bytes(256, '\0');
  for (int value = 0; value < 256; ++value) bytes[value] = char(value);
  return bytes;
}

double SecondsSince(double start) { return MonotonicNow() - start; }

}  // namespace zindo::posix_test

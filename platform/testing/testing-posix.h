#ifndef ZINDO_PLATFORM_TESTING_TESTING_POSIX_H_
#define ZINDO_PLATFORM_TESTING_TESTING_POSIX_H_

// Helpers shared by the tests of the POSIX services. They throw
// std::runtime_error or std::filesystem::filesystem_error on failure.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/descriptor-posix.h"
#include "platform/system/clock.h"

namespace zindo::posix_test {

// A fresh directory for one test, removed with its contents afterwards.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const {
    return path_ + "/" + relative;
  }

 private:
  std::string path_;
};

// A pseudo-terminal: the master end stands for the far device; the slave
// end is held open so that the line stays up and its settings can be read.
class PseudoTerminal {
 public:
  PseudoTerminal();

  int master() const { return master_.get(); }
  int slave() const { return slave_.get(); }
  const std::string& slave_path() const { return slave_path_; }
  void CloseMaster() { master_.Close(); }

 private:
  UniqueFd master_;
  UniqueFd slave_;
  std::string slave_path_;
};

// Runs `body` in `directory` as the current directory, then changes back.
void InDirectory(const std::string& directory,
                 const std::function<void()>& body);

void MakeDirectory(const std::string& path);
void MakeSymlink(const std::string& target, const std::string& link);
void WriteNativeFile(const std::string& path, const std::string& bytes,
                     mode_t mode = 0644);
std::string ReadNativeFile(const std::string& path);
// Sorted names.
std::vector<std::string> ListDirectory(const std::string& directory);

// Reads from `fd` until `count` bytes have come, the writer has gone or
// `limit` has passed.
std::string ReadBytes(int fd, std::size_t count,
                      std::chrono::milliseconds limit);

// Whether `condition` came to hold within `limit`.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit);

// Every byte value once, 0 to 255.
std::string AllByteValues();

// The seconds since `start`, a reading of MonotonicNow().
double SecondsSince(double start);

// A test's limit in seconds, as MonotonicNow() counts them.
inline double Seconds(std::chrono::milliseconds limit) {
  return std::chrono::duration<double>(limit).count();
}

}  // namespace zindo::posix_test

#endif  // ZINDO_PLATFORM_TESTING_TESTING_POSIX_H_

#ifndef ZINDO_PLATFORM_TESTING_TESTING_WIN32_H_
#define ZINDO_PLATFORM_TESTING_TESTING_WIN32_H_

// Helpers shared by the tests of the Windows services. Paths are UTF-8;
// failures throw std::runtime_error.

#include <chrono>
#include <string>
#include <vector>

#include "platform/system/clock.h"

namespace zindo::win32_test {

// A fresh directory under the user's temporary directory for one test,
// removed with its contents afterwards.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const {
    return path_ + "\\" + relative;
  }

 private:
  std::string path_;
};

void WriteNativeFile(const std::string& path, const std::string& bytes);
std::string ReadNativeFile(const std::string& path);

// The names in `directory`, sorted, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& directory);

// The seconds since `start`, a reading of MonotonicNow().
double SecondsSince(double start);

}  // namespace zindo::win32_test

#endif  // ZINDO_PLATFORM_TESTING_TESTING_WIN32_H_

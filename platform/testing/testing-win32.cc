#include "platform/testing/testing-win32.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/windows-win32.h"

namespace zindo::win32_test {

namespace fs = std::filesystem;

TemporaryDirectory::TemporaryDirectory() {
  const fs::path root = fs::temp_directory_path();
  // The process's number and a count of the names it has tried: a folder
  // that an earlier process of the same number left is passed over.
  static unsigned tried = 0;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = root / (L"zindo-platform-test-" +
                                 std::to_wstring(::GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(tried++));
    if (fs::create_directory(candidate)) {
      path_ = ToUtf8(candidate.wstring());
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  fs::remove_all(fs::path(ToUtf16(path_)), ignored);
}

void WriteNativeFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(fs::path(ToUtf16(path)), std::ios::binary);
  file << bytes;
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string ReadNativeFile(const std::string& path) {
  std::ifstream file(fs::path(ToUtf16(path)), std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::vector<std::string> ListDirectory(const std::string& directory) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(ToUtf16(directory)))) {
    names.push_back(ToUtf8(entry.path().filename().wstring()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

double SecondsSince(double start) { return MonotonicNow() - start; }

}  // namespace zindo::win32_test

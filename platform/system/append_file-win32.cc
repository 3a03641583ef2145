#include <memory>
#include <string>
#include <utility>

#include "platform/system/append_file.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

class Win32AppendFile : public AppendFile {
 public:
  Win32AppendFile(UniqueHandle file, std::string name)
      : file_(std::move(file)), name_(std::move(name)) {}

  void Append(const std::string& bytes) override {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(),
                     static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      throw LastWin32Error("write " + name_);
    }
    if (written != bytes.size()) {
      throw Win32Error("write " + name_, ERROR_WRITE_FAULT);
    }
  }

 private:
  UniqueHandle file_;
  std::string name_;
};

}  // namespace

std::string TextLineEnd() { return "\r\n"; }

// Opened for appending only: each write goes to the end as a whole.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path,
                                           const std::string& name) {
  UniqueHandle file(
      ::CreateFileW(ToUtf16(path).c_str(), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw LastWin32Error("open " + name);
  return std::make_unique<Win32AppendFile>(std::move(file), name);
}

}  // namespace zindo

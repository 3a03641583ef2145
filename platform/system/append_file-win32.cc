#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "base/dos_path.h"
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

  std::uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size)) {
      throw LastWin32Error("size of " + name_);
    }
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  // Windows' locks keep others from the bytes they cover, so the lock is
  // on one byte far past any log's end, where nobody reads or writes.
  void Lock() override {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (!::LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
      throw LastWin32Error("lock " + name_);
    }
  }

  bool IsNamed(const std::string& path) override {
    UniqueHandle named(
        ::CreateFileW(ToUtf16(path).c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION mine;
    BY_HANDLE_FILE_INFORMATION theirs;
    return named.valid() && ::GetFileInformationByHandle(file_.get(), &mine) &&
           ::GetFileInformationByHandle(named.get(), &theirs) &&
           mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
           mine.nFileIndexHigh == theirs.nFileIndexHigh &&
           mine.nFileIndexLow == theirs.nFileIndexLow;
  }

 private:
  static constexpr DWORD kLockOffsetHigh = 0x40000000;

  UniqueHandle file_;
  std::string name_;
};

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToUtf16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string TextLineEnd() { return "\r\n"; }

// Opened for appending only: each write goes to the end as a whole. Reading
// is asked for too, since a lock needs it, but the relay never reads here.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path,
                                           const std::string& name) {
  UniqueHandle file(
      ::CreateFileW(ToUtf16(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw LastWin32Error("open " + name);
  return std::make_unique<Win32AppendFile>(std::move(file), name);
}

// Each folder from the top down, past the drive (C:\) or the share
// (\\server\share\), which cannot be made; one made meanwhile by someone
// else is as good as one made here.
void MakeFolders(const std::string& path) {
  std::size_t slash = WindowsPathRootLength(path);
  do {
    slash = path.find_first_of("\\/", slash + 1);
    const std::string folder = path.substr(0, slash);
    if (folder.empty() || folder.back() == ':' || IsFolder(folder)) {
      continue;
    }
    if (!::CreateDirectoryW(ToUtf16(folder).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS) {
      throw LastWin32Error("create " + folder);
    }
  } while (slash != std::string::npos);
}

void RenameOver(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(ToUtf16(from).c_str(), ToUtf16(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
    throw LastWin32Error("rename " + from + " to " + to);
  }
}

std::optional<FilePart> ReadFilePart(const std::string& path, std::uint64_t end,
                                     std::size_t at_most) {
  UniqueHandle file(
      ::CreateFileW(ToUtf16(path).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return std::nullopt;
    }
    throw Win32Error("read " + path, error);
  }
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) throw LastWin32Error("read " + path);
  end = std::min(end, static_cast<std::uint64_t>(size.QuadPart));
  FilePart part;
  part.start = end > at_most ? end - at_most : 0;
  part.bytes.resize(static_cast<std::size_t>(end - part.start));
  LARGE_INTEGER start;
  start.QuadPart = static_cast<LONGLONG>(part.start);
  DWORD got = 0;
  if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), part.bytes.data(),
                  static_cast<DWORD>(part.bytes.size()), &got, nullptr)) {
    throw LastWin32Error("read " + path);
  }
  part.bytes.resize(got);
  return part;
}

}  // namespace zindo

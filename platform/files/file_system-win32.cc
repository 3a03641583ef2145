#include "platform/files/file_system-win32.h"

#include <aclapi.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/dos_path.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// "c:..." and "\\server\..." stand on their own; "\..." is from the root of
// the working directory's drive, which the system resolves itself.
bool IsRooted(const std::string& path) {
  return DriveLetterOf(path) != 0 || (!path.empty() && IsDosSeparator(path[0]));
}

// FindFirstFileW takes wildcards, which would make a lookup report whatever
// matches a pattern; the relay's names never hold them.
bool HasWildcard(const std::string& path) {
  return path.find_first_of("*?") != std::string::npos;
}

// The last component, as FindFirstFileW needs it: trailing separators would
// name the directory's contents rather than the directory.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsDosSeparator(path.back()) &&
         path[path.size() - 2] != ':') {
    path.pop_back();
  }
  return path;
}

std::string Describe(const std::string& path, const std::string& absolute) {
  return path == absolute ? path : path + " (" + absolute + ")";
}

class Win32SequentialFile : public SequentialFile {
 public:
  Win32SequentialFile(UniqueHandle file, std::string description)
      : file_(std::move(file)), description_(std::move(description)) {}

  std::string Read(std::size_t n) override {
    std::string bytes(n, '\0');
    std::size_t filled = 0;
    while (filled < n) {
      DWORD chunk =
          static_cast<DWORD>(std::min<std::size_t>(n - filled, 1 << 20));
      DWORD got = 0;
      if (!::ReadFile(file_.get(), bytes.data() + filled, chunk, &got,
                      nullptr)) {
        throw LastWin32Error("read " + description_);
      }
      if (got == 0) break;
      filled += got;
    }
    bytes.resize(filled);
    return bytes;
  }

 private:
  UniqueHandle file_;
  std::string description_;
};

// The name that the entry `absolute` is stored under, or "" when there is
// none.
std::string StoredNameOf(const std::string& absolute) {
  std::wstring wide = ToUtf16(WithoutTrailingSeparators(absolute));
  WIN32_FIND_DATAW found;
  // FindExInfoBasic skips the short 8.3 name, which is never wanted here.
  HANDLE search = ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return "";
  ::FindClose(search);
  return ToUtf8(found.cFileName);
}

// Whether `owner` is this process's user, or the system itself (SYSTEM,
// the administrators), whose links are followed as root's are on POSIX.
bool FollowsLinksOf(PSID owner) {
  if (::IsWellKnownSid(owner, WinLocalSystemSid) ||
      ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
    return true;
  }
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  const UniqueHandle held(token);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  return size != 0 &&
         ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
         ::EqualSid(owner,
                    reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

// A reparse point (a symbolic link, a junction) under a file's name, held
// open without leave to delete or rename it, so that it stays the same
// while a file is opened through it.
struct ReparsePoint {
  UniqueHandle held;       // invalid when the name is no reparse point
  std::string unfollowed;  // what it is, when it is not followed; else ""
};

// A reparse point that cannot be opened to be looked at is not followed.
ReparsePoint LookAtReparsePoint(const std::wstring& path) {
  ReparsePoint point;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return point;
  }
  point.unfollowed = std::string(kUnfollowedLink) + " (its owner unknown)";
  UniqueHandle entry(::CreateFileW(
      path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
      nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!entry.valid() ||
      !::GetFileInformationByHandle(entry.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return point;
  }
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const bool owned =
      ::GetSecurityInfo(entry.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        &owner, nullptr, nullptr, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
      owner != nullptr && FollowsLinksOf(owner);
  ::LocalFree(descriptor);
  point.unfollowed = owned ? "" : kUnfollowedLink;
  point.held = std::move(entry);
  return point;
}

// Writes all of `bytes` to the file `path`, created or emptied, letting
// others who have it open go on as `share` allows.
void WriteWhole(const std::wstring& path, const std::string& bytes,
                const std::string& description, DWORD share = 0) {
  // CREATE_ALWAYS empties an existing file and keeps its stored name.
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  if (!file.valid()) throw LastWin32Error(description);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written,
                     nullptr)) {
      throw LastWin32Error(description);
    }
    if (written == 0) throw Win32Error(description, ERROR_WRITE_FAULT);
    done += written;
  }
  // A lost write on a network drive may show only when the handle closes.
  if (!::CloseHandle(file.Release())) throw LastWin32Error(description);
}

}  // namespace

Win32FileSystem::Win32FileSystem(std::string working_directory,
                                 std::shared_ptr<WatchList> watch_list)
    : working_directory_(std::move(working_directory)),
      watch_list_(std::move(watch_list)) {}

std::string Win32FileSystem::AbsolutePath(const std::string& path) const {
  if (IsRooted(path)) return path;
  if (!working_directory_.empty() &&
      IsDosSeparator(working_directory_.back())) {
    return working_directory_ + path;
  }
  return working_directory_ + "\\" + path;
}

std::string Win32FileSystem::StoredName(const std::string& path) {
  if (path.empty() || HasWildcard(path)) return "";
  const bool in_working_directory = IsPlainDosName(path);
  if (watch_list_ != nullptr && in_working_directory) {
    watch_list_->WatchName(path);
  }
  return StoredNameOf(AbsolutePath(path));
}

void Win32FileSystem::CreateDirectory(const std::string& path) {
  std::string absolute = AbsolutePath(path);
  if (!::CreateDirectoryW(ToUtf16(absolute).c_str(), nullptr)) {
    throw LastWin32Error("create directory " + Describe(path, absolute));
  }
}

// The bytes go to a temporary file beside the target first, which then
// replaces it under its stored name: a companion that polls for the file
// sees the old one or the new one, whole, never an empty or half-written
// one. A failure leaves the old file as it was. The user's own symbolic
// link is written through, in place; another user's is replaced.
void Win32FileSystem::WriteFile(const std::string& path,
                                const std::string& bytes) {
  const std::string absolute = AbsolutePath(path);
  const std::string description = "write " + Describe(path, absolute);
  std::string unfollowed;
  {
    const ReparsePoint point = LookAtReparsePoint(ToUtf16(absolute));
    if (point.held.valid() && point.unfollowed.empty()) {
      WriteWhole(ToUtf16(absolute), bytes, description);
      return;
    }
    unfollowed = point.unfollowed;
  }
  const std::size_t name_start = absolute.find_last_of("\\/:") + 1;
  const std::string directory = absolute.substr(0, name_start);
  const std::string stored = StoredNameOf(absolute);
  const std::wstring target =
      ToUtf16(stored.empty() ? absolute : directory + stored);
  const std::wstring temporary = ToUtf16(
      directory + ".zindo-" + std::to_string(::GetCurrentProcessId()) + ".tmp");
  try {
    WriteWhole(temporary, bytes, description);
  } catch (const Error&) {
    ::DeleteFileW(temporary.c_str());  // a full disk leaves no part behind
    throw;
  }
  if (::MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING)) {
    return;
  }
  const DWORD error = ::GetLastError();
  ::DeleteFileW(temporary.c_str());
  // A reader that has the file open without letting it be deleted (the C
  // library's fopen, and so DOSBox for a companion that keeps re-reading the
  // response) blocks the replacement, but mostly lets it be written: then it
  // is written in place, as a reader of a plain rewrite expects.
  const bool held_open =
      error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
  if (!unfollowed.empty()) {
    throw Win32Error(description + ": it is " + unfollowed +
                         ", which is not followed and cannot be replaced",
                     error);
  }
  if (!held_open || stored.empty()) throw Win32Error(description, error);
  WriteWhole(target, bytes, description, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

// A directory is the only thing other than a file that a path in the
// working directory can name here: pipes and devices have names of their own.
std::string Win32FileSystem::NonFileKind(const std::string& path) {
  if (path.empty() || HasWildcard(path)) return "";
  const std::wstring absolute = ToUtf16(AbsolutePath(path));
  DWORD attributes = ::GetFileAttributesW(absolute.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "";
  if (std::string link = LookAtReparsePoint(absolute).unfollowed;
      !link.empty()) {
    return link;
  }
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? "a directory" : "";
}

std::unique_ptr<SequentialFile> Win32FileSystem::OpenForReading(
    const std::string& path) {
  std::string absolute = AbsolutePath(path);
  std::string description = Describe(path, absolute);
  const ReparsePoint point = LookAtReparsePoint(ToUtf16(absolute));
  if (!point.unfollowed.empty()) {
    throw Error("open " + description + ": it is " + point.unfollowed +
                ", not a regular file");
  }
  // Shared for writing and deleting too, so that the companion may replace
  // a file the relay is reading. Where no link was found, none is followed
  // either: one put there meanwhile is opened as itself, and refused.
  const bool through_link = point.held.valid();
  UniqueHandle file(
      ::CreateFileW(ToUtf16(absolute).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING,
                    FILE_FLAG_SEQUENTIAL_SCAN |
                        (through_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                    nullptr));
  if (!file.valid()) throw LastWin32Error("open " + description);
  BY_HANDLE_FILE_INFORMATION information;
  if (!through_link && ::GetFileInformationByHandle(file.get(), &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw Error("open " + description + ": a link was put there meanwhile");
  }
  return std::make_unique<Win32SequentialFile>(std::move(file), description);
}

void Win32FileSystem::DeleteFile(const std::string& path) {
  std::string absolute = AbsolutePath(path);
  if (!::DeleteFileW(ToUtf16(absolute).c_str())) {
    throw LastWin32Error("delete " + Describe(path, absolute));
  }
}

}  // namespace zindo

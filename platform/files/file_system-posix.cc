#include "platform/files/file_system-posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "base/dos_path.h"
#include "base/error.h"
#include "platform/descriptor-posix.h"
#include "platform/files/directory_source-posix.h"

namespace zindo {
namespace {

bool IsDirectory(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The upper-case drive letter that a dosdevices entry such as "d:" maps, or
// 0 for other entries (ports, raw devices such as "d::"). Only lower-case
// names count, as DriveRoot reads only those.
char MappedDriveOf(const std::string& entry) {
  const bool lower_case = AsciiLower(entry[0]) == entry[0];
  return entry.size() == 2 && lower_case ? DriveLetterOf(entry) : 0;
}

DosPathParts ParseDosPath(const std::string& path) {
  DosPathParts parsed = SplitDosPath(path);
  if (parsed.drive == 0 && parsed.from_root) {
    throw Error(path + ": a path from the root needs a drive letter");
  }
  return parsed;
}

std::string Join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

// Creates `directory` and any missing directories above it.
void MakeDirectories(const std::string& directory) {
  std::size_t slash = 0;
  do {
    slash = directory.find('/', slash + 1);
    std::string step = directory.substr(0, slash);
    if (::mkdir(step.c_str(), 0777) != 0 && errno != EEXIST) {
      throw SystemError("create directory " + step, errno);
    }
  } while (slash != std::string::npos);
}

std::string Describe(const std::string& path, const std::string& native) {
  return path + " (" + native + ")";
}

// What a status mode says other than a regular file; "" for one.
std::string KindOf(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "no regular file";
}

// Whether a link owned by `owner` is followed: only this user's own and
// root's are, as the kernel follows links in a folder that anyone may write
// to (protected symlinks). A link that another user planted in a shared
// folder must never turn a write or a read to a file of that user's
// choosing.
bool FollowsLinksOf(uid_t owner) { return owner == ::geteuid() || owner == 0; }

// The link `entry` (an lstat) as a phrase, when it is one that is not
// followed; "" for any other entry.
std::string UnfollowedLink(const struct stat& entry) {
  if (!S_ISLNK(entry.st_mode) || FollowsLinksOf(entry.st_uid)) return "";
  return std::string(kUnfollowedLink) + " (uid " +
         std::to_string(entry.st_uid) + ")";
}

std::string UnfollowedLink(const std::string& native) {
  struct stat entry;
  if (::lstat(native.c_str(), &entry) != 0) return "";
  return UnfollowedLink(entry);
}

// What `native` is, following the links that are followed, for an entry
// known to exist.
std::string KindOfEntry(const std::string& native) {
  if (std::string link = UnfollowedLink(native); !link.empty()) return link;
  struct stat status;
  if (::stat(native.c_str(), &status) == 0) return KindOf(status.st_mode);
  if (::lstat(native.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    return "a symbolic link to nothing";
  }
  return "";  // gone meanwhile
}

// Opens `native` without blocking, whatever it turns out to be (a pipe
// opened for reading waits for a writer, one for writing for a reader),
// and keeps it only when it is a regular file. The caller has looked at the
// entry before, so that devices are never opened; this closes the gap when
// it is replaced in between. A link is followed only when it was one that
// is followed both before the open and after it, the same link.
UniqueFd OpenRegularFile(const std::string& native, int flags,
                         const std::string& description) {
  const auto refuse = [&](const std::string& kind) {
    return Error(description + ": it is " + kind + ", not a regular file");
  };
  if (std::string kind = KindOfEntry(native); !kind.empty()) throw refuse(kind);
  struct stat before;
  const bool link =
      ::lstat(native.c_str(), &before) == 0 && S_ISLNK(before.st_mode);
  if (link && !UnfollowedLink(before).empty()) {
    throw refuse(UnfollowedLink(before));
  }
  UniqueFd fd(::open(
      native.c_str(),
      flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW),
      0666));
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0) {
    throw SystemError(description, errno);
  }
  if (std::string kind = KindOf(status.st_mode); !kind.empty()) {
    throw refuse(kind);
  }
  struct stat after;
  if (link &&
      (::lstat(native.c_str(), &after) != 0 || after.st_ino != before.st_ino ||
       after.st_dev != before.st_dev)) {
    throw Error(description + ": the link was replaced while it was opened");
  }
  return fd;
}

// Writes `bytes` whole into `fd` and closes it; throws naming `what`.
void WriteWhole(UniqueFd fd, const std::string& bytes,
                const std::string& what) {
  int error = WriteAll(fd.get(), bytes);
  int close_error = fd.Close();
  if (error == 0) error = close_error;
  if (error != 0) throw SystemError(what, error);
}

// The companion polls for the relay's files and reads one as soon as it
// sees it, so it must never find one empty or half written: the bytes go
// whole into a file of their own beside it, which is then renamed over the
// stored name. A failure leaves the old file as it was, and no part of the
// new one. The old file's permissions are kept. A link that is not followed
// is replaced like a file, where the folder lets this user replace it.
void ReplaceWhole(const std::string& directory, const std::string& native,
                  const std::string& bytes, const std::string& what) {
  const std::string unfollowed = UnfollowedLink(native);
  const std::string kind = unfollowed.empty() ? KindOfEntry(native) : "";
  if (!kind.empty()) {
    throw Error(what + ": it is " + kind + ", not a regular file");
  }
  const std::string aside =
      directory + "/.zindo-" + std::to_string(::getpid()) + ".tmp";
  ::unlink(aside.c_str());  // left by a relay that was killed
  try {
    UniqueFd fd = OpenRegularFile(
        aside, O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_NOFOLLOW, what);
    struct stat old;
    if (unfollowed.empty() && ::stat(native.c_str(), &old) == 0) {
      ::fchmod(fd.get(), old.st_mode & 07777);
    }
    WriteWhole(std::move(fd), bytes, what);
    if (::rename(aside.c_str(), native.c_str()) != 0) {
      // A folder with the sticky bit keeps another user's entry in place.
      throw SystemError(unfollowed.empty() ? what
                                           : what + ": it is " + unfollowed +
                                                 ", which is not followed" +
                                                 " and cannot be replaced",
                        errno);
    }
  } catch (...) {
    ::unlink(aside.c_str());
    throw;
  }
}

class PosixSequentialFile : public SequentialFile {
 public:
  PosixSequentialFile(UniqueFd fd, std::string description)
      : fd_(std::move(fd)), description_(std::move(description)) {}

  std::string Read(std::size_t n) override {
    std::string bytes(n, '\0');
    std::size_t filled = 0;
    while (filled < n) {
      ssize_t got = ::read(fd_.get(), bytes.data() + filled, n - filled);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw SystemError("read " + description_, errno);
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
  }

 private:
  UniqueFd fd_;
  std::string description_;
};

}  // namespace

PosixFileSystem::PosixFileSystem(std::string prefix,
                                 std::string working_directory,
                                 std::shared_ptr<DirectoryMonitor> directories)
    : prefix_(std::move(prefix)),
      working_directory_(std::move(working_directory)),
      directories_(std::move(directories)) {
  if (directories_ == nullptr) {
    directories_ = std::make_shared<DirectoryMonitor>(
        std::make_unique<InotifyDirectorySource>(/*poll_only=*/false, nullptr));
  }
}

std::string PosixFileSystem::Location::NativePath() const {
  return Join(directory, stored_name.empty() ? requested : stored_name);
}

std::string PosixFileSystem::StoredName(const std::string& path) {
  return Locate(path, /*create_drive_c=*/false).stored_name;
}

std::string PosixFileSystem::FindExisting(const std::string& path) {
  Location location = Locate(path, /*create_drive_c=*/false);
  return location.stored_name.empty() ? "" : location.NativePath();
}

void PosixFileSystem::CreateDirectory(const std::string& path) {
  Location location = Locate(path, /*create_drive_c=*/true);
  std::string native = location.NativePath();
  if (!location.stored_name.empty()) {
    throw SystemError("create directory " + Describe(path, native), EEXIST);
  }
  if (::mkdir(native.c_str(), 0777) != 0) {
    throw SystemError("create directory " + Describe(path, native), errno);
  }
  directories_->NoteAdded(location.directory, location.requested);
}

void PosixFileSystem::WriteFile(const std::string& path,
                                const std::string& bytes) {
  Location location = Locate(path, /*create_drive_c=*/true);
  const std::string native = location.NativePath();
  const std::string what = "write " + Describe(path, native);
  struct stat entry;
  if (::lstat(native.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode) &&
      UnfollowedLink(entry).empty()) {
    // The user's own link is their arrangement: the file it names is
    // rewritten, emptied only once the link is known to be the same.
    UniqueFd fd = OpenRegularFile(native, O_WRONLY, what);
    if (::ftruncate(fd.get(), 0) != 0) throw SystemError(what, errno);
    WriteWhole(std::move(fd), bytes, what);
  } else {
    ReplaceWhole(location.directory, native, bytes, what);
  }
  if (location.stored_name.empty()) {
    directories_->NoteAdded(location.directory, location.requested);
  }
}

void ReplaceNativeFile(const std::string& native, const std::string& bytes) {
  const std::size_t slash = native.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : native.substr(0, slash);
  ReplaceWhole(directory.empty() ? "/" : directory, native, bytes,
               "write " + native);
}

std::string ReadWholeFile(const std::string& native) {
  const UniqueFd file(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) throw SystemError("open " + native, errno);
  std::string content;
  if (const int error = ReadAll(file.get(), content)) {
    throw SystemError("read " + native, error);
  }
  return content;
}

std::optional<std::string> LinkTarget(const std::string& native) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(native.c_str(), target, sizeof target);
  if (length < 0) return std::nullopt;
  return std::string(target, static_cast<std::size_t>(length));
}

std::unique_ptr<SequentialFile> PosixFileSystem::OpenForReading(
    const std::string& path) {
  Location location = Locate(path, /*create_drive_c=*/false);
  std::string description = Describe(path, location.NativePath());
  if (location.stored_name.empty()) {
    throw SystemError("open " + description, ENOENT);
  }
  UniqueFd fd =
      OpenRegularFile(location.NativePath(), O_RDONLY, "open " + description);
  return std::make_unique<PosixSequentialFile>(std::move(fd), description);
}

std::string PosixFileSystem::NonFileKind(const std::string& path) {
  Location location = Locate(path, /*create_drive_c=*/false);
  if (location.stored_name.empty()) return "";
  return KindOfEntry(location.NativePath());
}

void PosixFileSystem::DeleteFile(const std::string& path) {
  Location location = Locate(path, /*create_drive_c=*/false);
  std::string native = location.NativePath();
  if (location.stored_name.empty()) {
    throw SystemError("delete " + Describe(path, native), ENOENT);
  }
  if (::unlink(native.c_str()) != 0) {
    throw SystemError("delete " + Describe(path, native), errno);
  }
  directories_->NoteRemoved(location.directory, location.stored_name);
}

PosixFileSystem::Location PosixFileSystem::Locate(const std::string& path,
                                                  bool create_drive_c) {
  DosPathParts parsed = ParseDosPath(path);
  Location location;
  location.directory =
      parsed.drive == 0 ? working_directory_
                        : DriveRoot(AsciiLower(parsed.drive), create_drive_c);
  for (std::size_t i = 0; i < parsed.names.size(); ++i) {
    const std::string& component = parsed.names[i];
    std::string stored =
        component == ".." ? component
                          : directories_->Find(location.directory, component);
    if (i + 1 == parsed.names.size()) {
      location.requested = component;
      location.stored_name = std::move(stored);
    } else {
      location.directory =
          Join(location.directory, stored.empty() ? component : stored);
    }
  }
  return location;
}

std::map<char, std::string> PosixFileSystem::MappedDrives() const {
  std::map<char, std::string> drives;
  std::string devices = prefix_ + "/dosdevices";
  if (DIR* listing = ::opendir(devices.c_str())) {
    while (const dirent* entry = ::readdir(listing)) {
      char letter = MappedDriveOf(entry->d_name);
      std::string link = devices + "/" + entry->d_name;
      if (letter != 0 && IsDirectory(link)) drives[letter] = link;
    }
    ::closedir(listing);
  }
  std::string drive_c = prefix_ + "/drive_c";
  struct stat status;
  bool has_c_link = ::lstat((devices + "/c:").c_str(), &status) == 0;
  if (!has_c_link && IsDirectory(drive_c)) drives['C'] = drive_c;
  return drives;
}

std::string PosixFileSystem::DriveRoot(char drive, bool create_drive_c) {
  std::string link = prefix_ + "/dosdevices/" + drive + ":";
  struct stat status;
  // A link that exists is used even when its target is missing: falling
  // back would put files where the user did not mean them to go.
  if (drive != 'c' || ::lstat(link.c_str(), &status) == 0) return link;
  std::string drive_c = prefix_ + "/drive_c";
  if (create_drive_c) MakeDirectories(drive_c);
  return drive_c;
}

}  // namespace zindo

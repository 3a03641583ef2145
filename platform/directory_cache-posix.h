#ifndef ZINDO_PLATFORM_DIRECTORY_CACHE_POSIX_H_
#define ZINDO_PLATFORM_DIRECTORY_CACHE_POSIX_H_

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

namespace zindo {

// Lowers the ASCII letters of `name`; other bytes stay as they are.
std::string FoldCase(const std::string& name);

// Finds entries of directories without regard to case. The relay asks for
// the same few names many times a second, in directories that may hold
// thousands of files, so for each directory it keeps the entries that match
// a name asked for there, and reads the directory again only when its change
// time shows it may have changed or a new name is asked for. Other entries
// are skipped without a copy, which keeps a rescan of a large directory
// about as cheap as reading it.
class DirectoryCache {
 public:
  // File times come from the kernel's coarse clock, which lags the precise
  // clock by up to a scheduler tick (10 ms at the slowest common rate). A
  // directory changed within this margin before a scan began may change
  // again without its change time moving, so such a listing is used once
  // and read again on the next lookup.
  static constexpr std::chrono::nanoseconds kRacyMargin =
      std::chrono::milliseconds(50);

  explicit DirectoryCache(std::chrono::nanoseconds racy_margin = kRacyMargin)
      : racy_margin_(racy_margin) {}

  // The name stored in `directory` that matches `name` without regard to
  // ASCII case: `name` itself when it is stored exactly so, otherwise the
  // least of the matching names in byte order. "" when nothing matches or
  // the directory cannot be read.
  std::string Find(const std::string& directory, const std::string& name);

  // How many times a directory has been read.
  int scans() const { return scans_; }

 private:
  struct Listing {
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed{};
    // Whether `changed` was old enough when the scan began that any later
    // change must carry a different change time.
    bool trusted = false;
    // The names asked for in this directory so far, folded. The relay asks
    // for a fixed handful, so this stays short.
    std::vector<std::string> wanted;
    // Each wanted name to the stored names that match it, sorted.
    std::unordered_map<std::string, std::vector<std::string>> names;
  };

  // The listing of `directory` with `folded` among its wanted names, read
  // again unless the cached one is current.
  const Listing* Current(const std::string& directory,
                         const std::string& folded);
  bool Scan(const std::string& directory, Listing& listing);

  std::chrono::nanoseconds racy_margin_;
  std::unordered_map<std::string, Listing> listings_;
  int scans_ = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_DIRECTORY_CACHE_POSIX_H_

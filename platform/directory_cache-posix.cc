#include "platform/directory_cache-posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "platform/descriptor-posix.h"

namespace zindo {
namespace {

// File systems that keep whole seconds (or FAT's two) store times without
// nanoseconds; a change time with none is taken to cover two seconds.
constexpr std::int64_t kCoarseTimestampNs = 2'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether a change after `scan_began` must carry a change time other
// than `changed`.
bool IsOlderThanScan(const timespec& changed, const timespec& scan_began,
                     std::chrono::nanoseconds racy_margin) {
  std::int64_t granularity = changed.tv_nsec == 0 ? kCoarseTimestampNs : 0;
  return Nanoseconds(changed) + granularity + racy_margin.count() <
         Nanoseconds(scan_began);
}

// Whether `stored` folds to `folded`, without making a folded copy: most
// entries differ in length and are passed over at once.
bool MatchesFolded(std::string_view stored, const std::string& folded) {
  if (stored.size() != folded.size()) return false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    char c = stored[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != folded[i]) return false;
  }
  return true;
}

}  // namespace

std::string FoldCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string DirectoryCache::Find(const std::string& directory,
                                 const std::string& name) {
  const std::string folded = FoldCase(name);
  const Listing* listing = Current(directory, folded);
  if (listing == nullptr) return "";
  auto found = listing->names.find(folded);
  if (found == listing->names.end()) return "";
  const std::vector<std::string>& matches = found->second;
  if (std::find(matches.begin(), matches.end(), name) != matches.end()) {
    return name;
  }
  return matches.front();
}

const DirectoryCache::Listing* DirectoryCache::Current(
    const std::string& directory, const std::string& folded) {
  struct stat status;
  if (::stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    listings_.erase(directory);
    return nullptr;
  }
  Listing& listing = listings_[directory];
  const bool new_name = std::find(listing.wanted.begin(), listing.wanted.end(),
                                  folded) == listing.wanted.end();
  if (new_name) listing.wanted.push_back(folded);
  if (!new_name && listing.trusted && listing.device == status.st_dev &&
      listing.inode == status.st_ino &&
      SameTime(listing.changed, status.st_ctim)) {
    return &listing;
  }
  if (!Scan(directory, listing)) {
    listings_.erase(directory);
    return nullptr;
  }
  return &listing;
}

bool DirectoryCache::Scan(const std::string& directory, Listing& listing) {
  ++scans_;
  timespec scan_began;
  ::clock_gettime(CLOCK_REALTIME, &scan_began);
  UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0) return false;
  DIR* stream = ::fdopendir(fd.get());
  if (stream == nullptr) return false;
  fd.Release();  // Now owned by `stream`.

  listing.names.clear();
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view stored = entry->d_name;
    for (const std::string& wanted : listing.wanted) {
      if (MatchesFolded(stored, wanted)) {
        listing.names[wanted].emplace_back(stored);
      }
    }
    errno = 0;
  }
  bool complete = errno == 0;
  ::closedir(stream);
  if (!complete) return false;
  for (auto& [folded, stored_names] : listing.names) {
    std::sort(stored_names.begin(), stored_names.end());
  }
  listing.device = status.st_dev;
  listing.inode = status.st_ino;
  listing.changed = status.st_ctim;
  listing.trusted = IsOlderThanScan(status.st_ctim, scan_began, racy_margin_);
  return true;
}

}  // namespace zindo

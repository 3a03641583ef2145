#include "base/directory_monitor.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "base/dos_path.h"

namespace zindo {
namespace {

// A listing due this soon counts as due: a timer that fires a hair early
// must not cost a second wake-up.
constexpr double kEarlyWakeSeconds = 0.001;

// Whether `stored` folds to `folded`, without making a folded copy: most
// entries differ in length and are passed over at once.
bool MatchesFolded(std::string_view stored, const std::string& folded) {
  if (stored.size() != folded.size()) return false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (AsciiLower(stored[i]) != folded[i]) return false;
  }
  return true;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

DirectoryMonitor::DirectoryMonitor(std::unique_ptr<DirectorySource> source)
    : source_(std::move(source)) {}

std::string DirectoryMonitor::Find(const std::string& path,
                                   const std::string& name) {
  const std::vector<std::string>* matches = Matches(path, name);
  if (matches == nullptr || matches->empty()) return "";
  return Contains(*matches, name) ? name : matches->front();
}

std::vector<std::string> DirectoryMonitor::FindAll(const std::string& path,
                                                   const std::string& name) {
  const std::vector<std::string>* matches = Matches(path, name);
  return matches == nullptr ? std::vector<std::string>() : *matches;
}

const std::vector<std::string>* DirectoryMonitor::Matches(
    const std::string& path, const std::string& name) {
  Refresh();
  const std::optional<DirectoryId> id = source_->Identify(path);
  if (!id) {
    Forget(path);
    return nullptr;
  }
  Directory& directory = directories_[path];
  const std::string folded = AsciiLowerCase(name);
  const bool new_name = !Contains(directory.wanted, folded);
  if (new_name) directory.wanted.push_back(folded);
  if (new_name || !directory.current || directory.id != *id) {
    if (!Relist(path, directory, *id)) {
      Forget(path);
      return nullptr;
    }
  }
  auto found = directory.names.find(folded);
  return found == directory.names.end() ? nullptr : &found->second;
}

void DirectoryMonitor::NoteAdded(const std::string& path,
                                 const std::string& stored) {
  Note(path, stored, /*added=*/true);
}

void DirectoryMonitor::NoteRemoved(const std::string& path,
                                   const std::string& stored) {
  Note(path, stored, /*added=*/false);
}

// The system reports the same change later, where it watches; applying it
// again then changes nothing.
void DirectoryMonitor::Note(const std::string& path, const std::string& stored,
                            bool added) {
  auto found = directories_.find(path);
  if (found == directories_.end()) return;
  const Directory* noted = &found->second;
  Update([&](const Directory& d) { return &d == noted; }, stored, added);
}

void DirectoryMonitor::Refresh() {
  events_.clear();
  source_->ReadEvents(events_);
  for (const DirectoryEvent& event : events_) Apply(event);
  // Directories that cannot be watched are listed together, once the first
  // of them is due, so that they cost one wake-up per period between them.
  const double now = source_->MonotonicSeconds();
  bool polling_due = false;
  for (const auto& [path, directory] : directories_) {
    polling_due |=
        directory.watch < 0 &&
        now - directory.listed_at >= directory.poll_seconds - kEarlyWakeSeconds;
  }
  std::vector<std::string> gone;
  for (auto& [path, directory] : directories_) {
    const bool due = polling_due && directory.watch < 0;
    if (directory.current && !due) continue;
    const std::optional<DirectoryId> id = source_->Identify(path);
    if (!id || !Relist(path, directory, *id)) gone.push_back(path);
  }
  // A directory that has gone is found again, if it comes back, at the
  // relay's next look-up there.
  for (const std::string& path : gone) Forget(path);
  if (!gone.empty()) changed_ = true;
}

bool DirectoryMonitor::TakeChange() { return std::exchange(changed_, false); }

double DirectoryMonitor::SecondsUntilNextListing() {
  double soonest = std::numeric_limits<double>::infinity();
  const double now = source_->MonotonicSeconds();
  for (const auto& [path, directory] : directories_) {
    if (directory.watch >= 0) continue;
    double due = directory.listed_at + directory.poll_seconds - now;
    if (due < kEarlyWakeSeconds) due = 0;
    soonest = std::min(soonest, due);
  }
  return soonest;
}

void DirectoryMonitor::Apply(const DirectoryEvent& event) {
  using Kind = DirectoryEvent::Kind;
  const auto watched_by = [&](const Directory& d) {
    return d.watch >= 0 && d.watch == event.watch;
  };
  switch (event.kind) {
    case Kind::kAdded:
    case Kind::kRemoved:
      if (Update(watched_by, event.name, event.kind == Kind::kAdded)) {
        changed_ = true;
      }
      break;
    case Kind::kLost:
      for (auto& [path, directory] : directories_) {
        if (directory.watch >= 0) directory.current = false;
      }
      break;
    case Kind::kGone:
      for (auto& [path, directory] : directories_) {
        if (!watched_by(directory)) continue;
        // The watch may still be on the directory's inode, moved elsewhere;
        // the path gets a new one when it is listed again.
        source_->Unwatch(directory.watch);
        directory.watch = -1;
        directory.watch_tried = false;
        directory.current = false;
      }
      break;
  }
}

bool DirectoryMonitor::Update(
    const std::function<bool(const Directory&)>& matches,
    const std::string& stored, bool added) {
  const std::string folded = AsciiLowerCase(stored);
  bool changed = false;
  for (auto& [path, directory] : directories_) {
    if (!directory.current || !matches(directory)) continue;
    if (!Contains(directory.wanted, folded)) continue;
    std::vector<std::string>& names = directory.names[folded];
    auto at = std::lower_bound(names.begin(), names.end(), stored);
    const bool present = at != names.end() && *at == stored;
    if (added && !present) {
      names.insert(at, stored);
      changed = true;
    } else if (!added && present) {
      names.erase(at);
      changed = true;
    }
  }
  return changed;
}

bool DirectoryMonitor::Relist(const std::string& path, Directory& directory,
                              const DirectoryId& id) {
  if (directory.id != id && directory.watch >= 0) {
    const int old_watch = directory.watch;
    directory.watch = -1;
    directory.watch_tried = false;
    if (!WatchInUse(old_watch)) source_->Unwatch(old_watch);
  }
  directory.id = id;
  // Watched before listing, so that no change falls between the two.
  if (!directory.watch_tried) {
    directory.watch = source_->Watch(path);
    directory.watch_tried = true;
  }
  std::unordered_map<std::string, std::vector<std::string>> names;
  const double began = source_->ProcessorSeconds();
  ++listings_;
  const bool complete = source_->List(path, [&](std::string_view stored) {
    for (const std::string& wanted : directory.wanted) {
      if (MatchesFolded(stored, wanted)) names[wanted].emplace_back(stored);
    }
  });
  if (!complete) return false;
  for (auto& [folded, stored_names] : names) {
    std::sort(stored_names.begin(), stored_names.end());
  }
  for (const std::string& wanted : directory.wanted) {
    if (directory.names[wanted] != names[wanted]) changed_ = true;
  }
  directory.names = std::move(names);
  directory.current = true;
  directory.listed_at = source_->MonotonicSeconds();
  directory.poll_seconds =
      std::clamp(kPollCostFactor * (source_->ProcessorSeconds() - began),
                 kShortestPollSeconds, kLongestPollSeconds);
  return true;
}

void DirectoryMonitor::Forget(const std::string& path) {
  auto found = directories_.find(path);
  if (found == directories_.end()) return;
  const int watch = found->second.watch;
  directories_.erase(found);
  if (watch >= 0 && !WatchInUse(watch)) source_->Unwatch(watch);
}

bool DirectoryMonitor::WatchInUse(int watch) const {
  for (const auto& [path, directory] : directories_) {
    if (directory.watch == watch) return true;
  }
  return false;
}

}  // namespace zindo

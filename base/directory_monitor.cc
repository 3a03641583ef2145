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

using Listing = std::unordered_map<std::string, std::vector<std::string>>;

const std::vector<std::string>& MatchesIn(const Listing& listing,
                                          const std::string& folded) {
  static const std::vector<std::string> kNone;
  auto found = listing.find(folded);
  return found == listing.end() ? kNone : found->second;
}

// Whether two listings give the same names for each of `wanted`.
bool SameMatches(const Listing& before, const Listing& after,
                 const std::vector<std::string>& wanted) {
  return std::all_of(wanted.begin(), wanted.end(), [&](const std::string& w) {
    return MatchesIn(before, w) == MatchesIn(after, w);
  });
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
  if (new_name || directory.state == State::kStale || directory.id != *id) {
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
  const bool polling_due = PollingDue();
  std::vector<std::string> gone;
  for (auto& [path, directory] : directories_) {
    const bool due = directory.state == State::kStale ||
                     (directory.state == State::kPolled && polling_due);
    if (!due) continue;
    const std::optional<DirectoryId> id = source_->Identify(path);
    if (!id || !Relist(path, directory, *id)) gone.push_back(path);
  }
  // A directory that has gone is found again, if it comes back, at the
  // relay's next look-up there.
  for (const std::string& path : gone) Forget(path);
  if (!gone.empty()) changed_ = true;
}

bool DirectoryMonitor::TakeChange() { return std::exchange(changed_, false); }

// Polled directories are listed together, once the first of them is due,
// so that they cost one wake-up per period between them.
bool DirectoryMonitor::PollingDue() { return SecondsUntilNextListing() == 0; }

double DirectoryMonitor::SecondsUntilNextListing() {
  double soonest = std::numeric_limits<double>::infinity();
  const double now = source_->MonotonicSeconds();
  for (const auto& [path, directory] : directories_) {
    if (directory.state != State::kPolled) continue;
    double due = directory.listed_at + directory.poll_seconds - now;
    if (due <= kEarlyWakeSeconds) due = 0;
    soonest = std::min(soonest, due);
  }
  return soonest;
}

void DirectoryMonitor::Apply(const DirectoryEvent& event) {
  using Kind = DirectoryEvent::Kind;
  const auto watched_by = [&](const Directory& d) {
    return d.state == State::kWatched && d.watch == event.watch;
  };
  switch (event.kind) {
    case Kind::kAdded:
    case Kind::kRemoved:
      if (Update(watched_by, event.name, event.kind == Kind::kAdded)) {
        changed_ = true;
      }
      break;
    case Kind::kLost:
    case Kind::kGone:
      // After a lost event, every watch; after an ended one, the
      // directories it reported for. An ended watch may still be on the
      // directory's inode, moved elsewhere: the path gets a new one.
      for (auto& [path, directory] : directories_) {
        const bool lost =
            event.kind == Kind::kLost && directory.state == State::kWatched;
        if (lost || watched_by(directory)) MakeStale(directory);
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
    if (directory.state == State::kStale || !matches(directory)) continue;
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
  if (directory.id != id) MakeStale(directory);
  directory.id = id;
  // Watched before listing, so that no change falls between the two.
  if (directory.state == State::kStale) {
    directory.watch = source_->Watch(path);
    directory.state = directory.watch >= 0 ? State::kWatched : State::kPolled;
  }
  const double began = source_->ProcessorSeconds();
  std::optional<Listing> names = ListWanted(path, directory.wanted);
  if (!names) return false;
  if (!SameMatches(directory.names, *names, directory.wanted)) changed_ = true;
  directory.names = std::move(*names);
  SchedulePoll(directory, source_->ProcessorSeconds() - began);
  return true;
}

// A polled directory waits longer between listings that cost more.
void DirectoryMonitor::SchedulePoll(Directory& directory,
                                    double listing_seconds) {
  directory.listed_at = source_->MonotonicSeconds();
  directory.poll_seconds =
      std::clamp(kPollCostFactor * listing_seconds, kShortestPollSeconds,
                 kLongestPollSeconds);
}

std::optional<DirectoryMonitor::Listing> DirectoryMonitor::ListWanted(
    const std::string& path, const std::vector<std::string>& wanted) {
  Listing names;
  ++listings_;
  const bool complete = source_->List(path, [&](std::string_view stored) {
    for (const std::string& folded : wanted) {
      if (MatchesFolded(stored, folded)) names[folded].emplace_back(stored);
    }
  });
  if (!complete) return std::nullopt;
  for (auto& [folded, stored_names] : names) {
    std::sort(stored_names.begin(), stored_names.end());
  }
  return names;
}

void DirectoryMonitor::MakeStale(Directory& directory) {
  const int watch = std::exchange(directory.watch, -1);
  directory.state = State::kStale;
  if (watch >= 0 && !WatchInUse(watch)) source_->Unwatch(watch);
}

void DirectoryMonitor::Forget(const std::string& path) {
  auto found = directories_.find(path);
  if (found == directories_.end()) return;
  MakeStale(found->second);
  directories_.erase(found);
}

bool DirectoryMonitor::WatchInUse(int watch) const {
  for (const auto& [path, directory] : directories_) {
    if (directory.watch == watch) return true;
  }
  return false;
}

}  // namespace zindo

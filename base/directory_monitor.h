#ifndef ZINDO_BASE_DIRECTORY_MONITOR_H_
#define ZINDO_BASE_DIRECTORY_MONITOR_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zindo {

// Which directory a path leads to. The same path may lead to another
// directory later (the old one renamed away, a link pointed elsewhere).
struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const DirectoryId&) const = default;
};

// A change that the system reports in a watched directory.
struct DirectoryEvent {
  enum class Kind {
    kAdded,    // `name` now exists: created, moved in or linked
    kRemoved,  // `name` is gone: deleted or moved out
    kLost,     // the system dropped events: every watched listing is stale
    kGone,     // the watch has ended: directory deleted, moved or unmounted
  };
  Kind kind;
  int watch = -1;
  std::string name;
};

// How the monitor reaches the operating system's directories.
class DirectorySource {
 public:
  virtual ~DirectorySource() = default;

  // The directory that `path` leads to now, or nothing when it is not one.
  virtual std::optional<DirectoryId> Identify(const std::string& path) = 0;

  // Calls `entry` with every name in the directory `path`. Returns false
  // when the directory cannot be read whole.
  virtual bool List(const std::string& path,
                    const std::function<void(std::string_view)>& entry) = 0;

  // Asks the system to report every change of names in `path` from now on.
  // Returns the watch's number, or -1 when it cannot promise that (a
  // network file system, where other machines' changes go unreported, or
  // no watches left); such a directory is listed again from time to time.
  // Never fails otherwise.
  virtual int Watch(const std::string& path) = 0;

  // Ends a watch that Watch returned.
  virtual void Unwatch(int watch) = 0;

  // Appends the events reported since the last call. Does not wait.
  virtual void ReadEvents(std::vector<DirectoryEvent>& events) = 0;

  // Seconds on a clock that never steps, for the periods between listings.
  virtual double MonotonicSeconds() = 0;

  // Processor seconds this thread has used, for the cost of a listing.
  virtual double ProcessorSeconds() = 0;
};

// The stored names of directories that match the names the relay asks for,
// kept up to date from the system's own reports of which names appeared and
// went, so that a look-up in a directory of 10,000 files reads nothing.
// A directory is listed once; it is listed again only when the system says
// events were lost, when its watch has ended, when the path leads to
// another directory, or when a name is asked for the first time. Where
// changes cannot be watched, it is listed again every so often instead:
// the period grows with the processor time a listing takes, so that
// listings take about 1% of a processor at most.
class DirectoryMonitor {
 public:
  // The shortest and longest time between two listings of a directory that
  // cannot be watched.
  static constexpr double kShortestPollSeconds = 0.25;
  static constexpr double kLongestPollSeconds = 2.0;
  // The period is at least this many times the processor time the last
  // listing took.
  static constexpr double kPollCostFactor = 100.0;

  explicit DirectoryMonitor(std::unique_ptr<DirectorySource> source);

  // The name stored in `directory` that matches `name` without regard to
  // ASCII case: `name` itself when it is stored exactly so, otherwise the
  // least of the matching names in byte order. "" when nothing matches or
  // the directory cannot be read.
  std::string Find(const std::string& directory, const std::string& name);

  // Every name stored in `directory` that matches `name` without regard to
  // ASCII case, in byte order: what Find chooses from. Empty when nothing
  // matches or the directory cannot be read.
  std::vector<std::string> FindAll(const std::string& directory,
                                   const std::string& name);

  // What the relay itself did to `directory`, applied at once: a directory
  // that is listed only from time to time would not show it until later.
  void NoteAdded(const std::string& directory, const std::string& stored);
  void NoteRemoved(const std::string& directory, const std::string& stored);

  // Applies the events reported so far and lists again each directory that
  // needs it: lost events, an ended watch, or a period that has passed.
  void Refresh();

  // Whether a name asked for has appeared or gone, through a change that the
  // relay did not make, since the last call. Clears it.
  bool TakeChange();

  // Seconds until a directory that cannot be watched is due to be listed
  // again (0 when overdue); infinity when every directory is watched.
  double SecondsUntilNextListing();

  // How many times a directory has been listed.
  int listings() const { return listings_; }

 private:
  // What the monitor knows of one directory. Each state is left one way
  // only: a stale directory by listing it, a watched or polled one by
  // becoming stale (MakeStale).
  enum class State {
    kStale,    // to be watched and listed before its names are used: new,
               // events were lost, its watch ended, or the path now leads
               // to another directory
    kWatched,  // the system reports each change of names through `watch`
    kPolled,   // nothing is reported; listed again once its period passes
  };

  // Each wanted name to the stored names that match it, sorted.
  using Listing = std::unordered_map<std::string, std::vector<std::string>>;

  struct Directory {
    State state = State::kStale;
    DirectoryId id;
    int watch = -1;  // The system's watch while watched; -1 otherwise.
    double listed_at = 0;
    double poll_seconds = kShortestPollSeconds;
    // The folded names asked for; the relay asks for a handful.
    std::vector<std::string> wanted;
    Listing names;
  };

  // The stored names matching `name`, sorted; null when none was ever seen
  // or `path` is no readable directory.
  const std::vector<std::string>* Matches(const std::string& path,
                                          const std::string& name);
  void Note(const std::string& path, const std::string& stored, bool added);
  void Apply(const DirectoryEvent& event);
  // Adds or removes `stored` in every listing that `matches` picks and that
  // is not stale. Returns whether a listing changed.
  bool Update(const std::function<bool(const Directory&)>& matches,
              const std::string& stored, bool added);
  // Whether a polled directory is due to be listed again.
  bool PollingDue();
  // Lists `path`, the directory `id`, again, watching it first when stale;
  // false when it is no longer a readable directory.
  bool Relist(const std::string& path, Directory& directory,
              const DirectoryId& id);
  void SchedulePoll(Directory& directory, double listing_seconds);
  // The names in `path` that match `wanted`, or nothing when the
  // directory cannot be read whole.
  std::optional<Listing> ListWanted(const std::string& path,
                                    const std::vector<std::string>& wanted);
  // Ends the directory's watch, if it has one, and makes it stale.
  void MakeStale(Directory& directory);
  void Forget(const std::string& path);
  bool WatchInUse(int watch) const;

  std::unique_ptr<DirectorySource> source_;
  std::map<std::string, Directory> directories_;
  std::vector<DirectoryEvent> events_;
  bool changed_ = false;
  int listings_ = 0;
};

}  // namespace zindo

#endif  // ZINDO_BASE_DIRECTORY_MONITOR_H_

#include "base/directory_monitor.h"

#include <cmath>
#include <map>
#include <set>

#include "gtest/gtest.h"

namespace zindo {
namespace {

using Kind = DirectoryEvent::Kind;

// Directories in memory. Changes made through it are reported as the
// system would report them to watched directories.
class FakeDirectorySource : public DirectorySource {
 public:
  std::optional<DirectoryId> Identify(const std::string& path) override {
    auto found = directories_.find(path);
    if (found == directories_.end()) return std::nullopt;
    return DirectoryId{1, found->second.inode};
  }
  bool List(const std::string& path,
            const std::function<void(std::string_view)>& entry) override {
    auto found = directories_.find(path);
    if (found == directories_.end()) return false;
    for (const std::string& name : found->second.names) entry(name);
    return true;
  }
  int Watch(const std::string& path) override {
    if (!watchable_) return -1;
    watches_[path] = next_watch_;
    return next_watch_++;
  }
  void Unwatch(int watch) override {
    for (auto& [path, number] : watches_) {
      if (number == watch) number = -1;
    }
  }
  void ReadEvents(std::vector<DirectoryEvent>& events) override {
    events.insert(events.end(), queued_.begin(), queued_.end());
    queued_.clear();
  }
  double MonotonicSeconds() override { return now; }
  double ProcessorSeconds() override { return now; }

  void MakeDirectory(const std::string& path) {
    directories_[path] = {next_inode_++, {}};
  }
  // `reported` false: changed as by another machine on a network share.
  void Add(const std::string& path, const std::string& name,
           bool reported = true) {
    directories_[path].names.insert(name);
    if (reported) Report(Kind::kAdded, path, name);
  }
  void Remove(const std::string& path, const std::string& name,
              bool reported = true) {
    directories_[path].names.erase(name);
    if (reported) Report(Kind::kRemoved, path, name);
  }
  // Moves `from` onto `to`, replacing it: one name goes, the other comes.
  void Rename(const std::string& path, const std::string& from,
              const std::string& to) {
    Remove(path, from);
    Add(path, to);
  }
  void set_watchable(bool watchable) { watchable_ = watchable; }
  // The system's queue overflowed: events were dropped.
  void LoseEvents() { queued_.push_back({Kind::kLost, -1, ""}); }
  // The watch on `path` ended, as when the directory is moved away.
  void EndWatch(const std::string& path) {
    queued_.push_back({Kind::kGone, watches_[path], ""});
  }
  // Another directory now stands at `path`, holding `names`.
  void Replace(const std::string& path, std::set<std::string> names) {
    directories_[path] = {next_inode_++, std::move(names)};
  }
  void RemoveDirectory(const std::string& path) {
    directories_.erase(path);
    EndWatch(path);
  }
  int live_watches() const {
    std::set<int> live;
    for (const auto& [path, number] : watches_) {
      if (number >= 0) live.insert(number);
    }
    return static_cast<int>(live.size());
  }

  double now = 100.0;

 private:
  void Report(Kind kind, const std::string& path, const std::string& name) {
    auto watch = watches_.find(path);
    if (watch != watches_.end() && watch->second >= 0) {
      queued_.push_back({kind, watch->second, name});
    }
  }

  struct Directory {
    std::uint64_t inode;
    std::set<std::string> names;
  };
  std::map<std::string, Directory> directories_;
  std::map<std::string, int> watches_;
  std::vector<DirectoryEvent> queued_;
  std::uint64_t next_inode_ = 10;
  int next_watch_ = 1;
  bool watchable_ = true;
};

class DirectoryMonitorTest : public ::testing::Test {
 protected:
  DirectoryMonitorTest() {
    auto source = std::make_unique<FakeDirectorySource>();
    source_ = source.get();
    source_->MakeDirectory("/work");
    monitor_ = std::make_unique<DirectoryMonitor>(std::move(source));
  }

  std::string Find(const std::string& name) {
    return monitor_->Find("/work", name);
  }

  FakeDirectorySource* source_;
  std::unique_ptr<DirectoryMonitor> monitor_;
};

// Each step changes the directory through reported events only; the stored
// name is then what a fresh listing would give, and nothing is listed.
TEST_F(DirectoryMonitorTest, NamesFollowTheEventsWithoutListingAgain) {
  source_->Add("/work", "other.dat");
  ASSERT_EQ(Find("ZINDOK1.TXT"), "");
  ASSERT_EQ(Find("zindoK2.txt"), "");
  const int listed = monitor_->listings();

  struct Step {
    const char* what;
    std::function<void()> change;
    const char* request;   // the stored name Find("ZINDOK1.TXT") gives
    const char* response;  // the stored name Find("zindoK2.txt") gives
  };
  const Step steps[] = {
      {"created", [&] { source_->Add("/work", "ZINDOK1.TXT"); }, "ZINDOK1.TXT",
       ""},
      {"deleted", [&] { source_->Remove("/work", "ZINDOK1.TXT"); }, "", ""},
      {"lower case created", [&] { source_->Add("/work", "zindok1.txt"); },
       "zindok1.txt", ""},
      {"exact name wins", [&] { source_->Add("/work", "ZINDOK1.TXT"); },
       "ZINDOK1.TXT", ""},
      {"least name otherwise", [&] { source_->Remove("/work", "ZINDOK1.TXT"); },
       "zindok1.txt", ""},
      {"renamed into place",
       [&] {
         source_->Add("/work", "req.tmp");
         source_->Rename("/work", "req.tmp", "ZINDOK1.TXT");
       },
       "ZINDOK1.TXT", ""},
      {"renamed over an existing one",
       [&] {
         source_->Add("/work", "ZINDOK2.TXT");
         source_->Rename("/work", "ZINDOK2.TXT", "zindok1.txt");
       },
       "ZINDOK1.TXT", ""},
      {"moved out", [&] { source_->Rename("/work", "zindok1.txt", "x"); },
       "ZINDOK1.TXT", ""},
      {"response created", [&] { source_->Add("/work", "zindoK2.txt"); },
       "ZINDOK1.TXT", "zindoK2.txt"},
  };
  for (const Step& step : steps) {
    step.change();
    EXPECT_EQ(Find("ZINDOK1.TXT"), step.request) << step.what;
    EXPECT_EQ(Find("zindoK2.txt"), step.response) << step.what;
  }
  EXPECT_EQ(monitor_->listings(), listed);

  // Nor ever on time alone.
  EXPECT_TRUE(std::isinf(monitor_->SecondsUntilNextListing()));
  source_->now += 3600;
  monitor_->Refresh();
  EXPECT_EQ(Find("ZINDOK1.TXT"), "ZINDOK1.TXT");
  EXPECT_EQ(monitor_->listings(), listed);
}

TEST_F(DirectoryMonitorTest, RelaysOwnChangeCountsAtOnceAndDoesNotWakeIt) {
  ASSERT_EQ(Find("ZINDOK1.TXT"), "");
  monitor_->Refresh();
  monitor_->TakeChange();

  // The relay's own change, noted at once, and then reported.
  source_->Add("/work", "ZINDOK1.TXT", /*reported=*/false);
  monitor_->NoteAdded("/work", "ZINDOK1.TXT");
  EXPECT_EQ(Find("ZINDOK1.TXT"), "ZINDOK1.TXT");
  source_->Add("/work", "ZINDOK1.TXT");
  monitor_->Refresh();
  EXPECT_FALSE(monitor_->TakeChange()) << "the relay's own change";

  source_->Remove("/work", "ZINDOK1.TXT");
  monitor_->Refresh();
  EXPECT_TRUE(monitor_->TakeChange());
  EXPECT_FALSE(monitor_->TakeChange());
  EXPECT_EQ(Find("ZINDOK1.TXT"), "");
}

// Where nothing is reported, the directory is listed again once its period
// has passed, and only then; the relay's own changes count at once.
TEST_F(DirectoryMonitorTest, UnwatchedDirectoryIsListedEachPeriod) {
  source_->set_watchable(false);
  ASSERT_EQ(Find("ZINDOK1.TXT"), "");
  const int listed = monitor_->listings();
  const double period = monitor_->SecondsUntilNextListing();
  EXPECT_EQ(period, DirectoryMonitor::kShortestPollSeconds);

  source_->Add("/work", "ZINDOK1.TXT", /*reported=*/false);
  source_->now += period / 2;
  EXPECT_EQ(Find("ZINDOK1.TXT"), "") << "not due yet";
  source_->now += period / 2;
  monitor_->Refresh();
  EXPECT_TRUE(monitor_->TakeChange());
  EXPECT_EQ(Find("ZINDOK1.TXT"), "ZINDOK1.TXT");
  EXPECT_EQ(monitor_->listings(), listed + 1);

  source_->Remove("/work", "ZINDOK1.TXT", /*reported=*/false);
  monitor_->NoteRemoved("/work", "ZINDOK1.TXT");
  EXPECT_EQ(Find("ZINDOK1.TXT"), "");
  EXPECT_EQ(monitor_->listings(), listed + 1);
}

// Whatever makes a watched directory's names untrustworthy, it is listed
// once, watched anew, and then follows the reported events again.
TEST_F(DirectoryMonitorTest, StaleDirectoryIsListedAndWatchedAgain) {
  struct Case {
    const char* what;
    std::function<void()> disturb;
  };
  const Case cases[] = {
      {"events lost", [&] { source_->LoseEvents(); }},
      {"watch ended", [&] { source_->EndWatch("/work"); }},
      {"another directory",
       [&] { source_->Replace("/work", {"zindok1.txt"}); }},
  };
  for (const Case& c : cases) {
    source_->Replace("/work", {});
    ASSERT_EQ(Find("ZINDOK1.TXT"), "") << c.what;
    const int listed = monitor_->listings();

    c.disturb();
    source_->Add("/work", "zindok1.txt", /*reported=*/false);
    EXPECT_EQ(Find("ZINDOK1.TXT"), "zindok1.txt") << c.what;
    EXPECT_EQ(monitor_->listings(), listed + 1) << c.what;
    EXPECT_EQ(source_->live_watches(), 1) << c.what;

    source_->Remove("/work", "zindok1.txt");
    monitor_->TakeChange();
    monitor_->Refresh();
    EXPECT_TRUE(monitor_->TakeChange()) << c.what;
    EXPECT_EQ(Find("ZINDOK1.TXT"), "") << c.what;
    EXPECT_EQ(monitor_->listings(), listed + 1) << c.what;
  }

  // A directory that is gone lets go of its watch, and is found again.
  source_->RemoveDirectory("/work");
  monitor_->Refresh();
  EXPECT_TRUE(monitor_->TakeChange());
  EXPECT_EQ(Find("ZINDOK1.TXT"), "");
  EXPECT_EQ(source_->live_watches(), 0);
  source_->Replace("/work", {"ZINDOK1.TXT"});
  EXPECT_EQ(Find("ZINDOK1.TXT"), "ZINDOK1.TXT");
  EXPECT_EQ(source_->live_watches(), 1);
}

}  // namespace
}  // namespace zindo

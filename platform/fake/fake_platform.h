#ifndef ZINDO_PLATFORM_FAKE_FAKE_PLATFORM_H_
#define ZINDO_PLATFORM_FAKE_FAKE_PLATFORM_H_

// In-memory stand-ins for every operating-system service, for unit tests of
// the relay's logic. They record what the relay did, in order, in one shared
// journal, and run on a fake clock that only moves when the relay yields.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "platform/platform.h"

namespace zindo {

// What the relay asked of the platform, one entry per call that changes
// something, in order: "mkdir c:\zindo", "write ZINDOK1.TXT 01 00 00 0d 0a",
// "open COM1 19200,N,8,1", "rts on", "message <text>", "launch autoexec.pif".
class FakeJournal {
 public:
  void Record(const std::string& entry);
  const std::vector<std::string>& entries() const { return entries_; }
  // The clock reading at which entry `index` was recorded (0 without a
  // clock).
  double TimeOf(int index) const { return times_.at(index); }
  void set_clock(const class FakeClock* clock) { clock_ = clock; }
  // Called with every entry once it is recorded: lets a test act at an
  // exact point of the run.
  void set_on_record(std::function<void(const std::string&)> on_record) {
    on_record_ = std::move(on_record);
  }
  // Index of the first entry starting with `prefix`, or -1.
  int Find(const std::string& prefix) const;
  // Number of entries starting with `prefix`.
  int Count(const std::string& prefix) const;

 private:
  std::vector<std::string> entries_;
  std::vector<double> times_;
  const FakeClock* clock_ = nullptr;
  std::function<void(const std::string&)> on_record_;
};

// Bytes as two-digit lower-case hex separated by spaces, for journal entries.
std::string HexBytes(const std::string& bytes);

// Readings are exact. Set steps local time only, as setting the system's
// time does; Advance moves local and monotonic time together.
class FakeClock : public Clock {
 public:
  double SecondsSinceMidnight() override { return now_; }
  double MonotonicSeconds() override { return monotonic_; }
  double ReadingStepSeconds() override { return 0.0; }
  double now() const { return now_; }
  double monotonic() const { return monotonic_; }
  void Set(double seconds) { now_ = seconds; }
  // Moves the clock on, restarting at 0 at midnight.
  void Advance(double seconds);

 private:
  double now_ = 36000.0;
  double monotonic_ = 1000.0;
};

// Each yield moves the fake clock on by its time limit, but by no more than
// `tick`, then runs every scheduled action whose time has come.
class FakeEventPump : public EventPump {
 public:
  explicit FakeEventPump(FakeClock& clock) : clock_(clock) {}
  void Yield(double max_wait_seconds, WakeOn wake_on) override;

  // Runs `action` at the first yield at which `seconds` of fake time have
  // passed since it was scheduled.
  void After(double seconds, std::function<void()> action);
  void set_tick(double seconds) { tick_ = seconds; }
  // From now on every yield throws StopRequested{reason}, as a signal makes
  // the real pump do.
  void RequestStop(const std::string& reason) { stop_reason_ = reason; }
  long yields() const { return yields_; }
  long time_only_yields() const { return time_only_yields_; }

 private:
  struct Scheduled {
    double remaining;
    std::function<void()> action;
  };
  FakeClock& clock_;
  double tick_ = 0.01;
  long yields_ = 0;
  long time_only_yields_ = 0;
  // A relay that yields this often without ending is stuck: Yield throws.
  static constexpr long kYieldLimit = 10'000'000;
  std::vector<Scheduled> scheduled_;
  std::string stop_reason_;
};

// Hands out a fixed sequence of local readings, for waits that must be
// driven reading by reading; reading past the end throws. The monotonic
// clock reads as the last local reading handed out (the first before any),
// as it would while local time does not step.
class ScriptedClock : public Clock {
 public:
  explicit ScriptedClock(std::vector<double> readings)
      : readings_(std::move(readings)) {}
  double SecondsSinceMidnight() override { return readings_.at(next_++); }
  double MonotonicSeconds() override {
    return readings_.at(next_ == 0 ? 0 : next_ - 1);
  }
  double ReadingStepSeconds() override { return 0.0; }
  size_t unread() const { return readings_.size() - next_; }

 private:
  std::vector<double> readings_;
  size_t next_ = 0;
};

// A pump that moves no clock: it counts the yields and keeps the time limit
// of the last one.
class CountingEventPump : public EventPump {
 public:
  void Yield(double max_wait_seconds, WakeOn) override {
    ++yields_;
    last_wait_ = max_wait_seconds;
  }
  int yields() const { return yields_; }
  double last_wait() const { return last_wait_; }

 private:
  int yields_ = 0;
  double last_wait_ = 0;
};

// Files in memory, looked up as the real file systems look them up. Paths
// are DOS-style; every component is matched without regard to case, an
// exact match winning over the others, and names keep the case they were
// created with. Like a POSIX directory, one directory may hold several
// names that differ only in case ("zindok1.txt" and "ZINDOK1.TXT"); when
// none matches exactly, the least in byte order is the one found. The drive
// root "c:" and the working directory ("") exist from the start.
class FakeFileSystem : public FileSystem {
 public:
  explicit FakeFileSystem(FakeJournal& journal);

  std::string StoredName(const std::string& path) override;
  void CreateDirectory(const std::string& path) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  std::string NonFileKind(const std::string& path) override;
  std::unique_ptr<SequentialFile> OpenForReading(
      const std::string& path) override;
  void DeleteFile(const std::string& path) override;

  // Test set-up and inspection, without journal entries. Put stores the
  // file under its last component exactly as given, as a program that
  // minds case would: beside an entry whose name differs only in case, not
  // over it. Directories on the way must exist.
  void Put(const std::string& path, const std::string& bytes);
  // Creates `path` and any directory missing on the way.
  void PutDirectory(const std::string& path);
  // Whether `path`, looked up as the relay looks it up, is a file.
  bool Exists(const std::string& path) const;
  // Contents of the file that `path` finds; "" when it finds none.
  std::string Contents(const std::string& path) const;
  // Makes every write to, and creation of, `path` fail.
  void FailWritesTo(const std::string& path);
  // Makes every open of `path` for reading fail.
  void FailReadsOf(const std::string& path);

 private:
  struct Entry {
    bool directory = false;
    std::string bytes;
  };
  // Where a path leads: the directory that holds its last component, by
  // stored path, and the entry there that matches it.
  struct Location {
    bool directory_exists = false;
    std::string directory;
    std::string requested;  // the last component as asked for
    std::string stored;     // the matching stored name, "" if none
    std::string StoredPath() const;
    std::string RequestedPath() const;
  };
  Location Locate(const std::string& path) const;
  std::string Match(const std::string& directory,
                    const std::string& name) const;
  const Entry* Find(const Location& location) const;
  Entry& FileToWrite(const std::string& path, const std::string& stored_path);
  FakeJournal& journal_;
  std::map<std::string, Entry> entries_;  // by stored path: "c:\zindo\X"
  std::set<std::string> failing_writes_;  // folded paths
  std::set<std::string> failing_reads_;
};

// The far end of a fake serial line: what the relay wrote and what the
// device will send. Shared by every open of one port.
struct FakeLine {
  std::string received;  // bytes the device sent, not yet read by the relay
  std::string written;   // every byte the relay sent, in order
  bool carrier_detect = false;
  bool rts = false;
  bool gone = false;  // the device has been unplugged
  bool open = false;
  // The device's side of the conversation: called with every write of the
  // relay, after it is added to `written`.
  std::function<void(const std::string&)> on_write;
};

class FakeSerialPorts : public SerialPorts {
 public:
  explicit FakeSerialPorts(FakeJournal& journal) : journal_(journal) {}

  bool IsValidPortNumber(int port) override { return port >= 1 && port <= 255; }
  std::unique_ptr<SerialDevice> Open(int port,
                                     const LineSettings& settings) override;

  FakeLine& line(int port) { return lines_[port]; }
  // Makes every open of `port` fail with `message`.
  void FailOpen(int port, const std::string& message);
  // The port opened last, or 0.
  int last_opened() const { return last_opened_; }

 private:
  FakeJournal& journal_;
  std::map<int, FakeLine> lines_;
  std::map<int, std::string> open_failures_;
  int last_opened_ = 0;
};

class FakeMessageBox : public MessageBox {
 public:
  explicit FakeMessageBox(FakeJournal& journal) : journal_(journal) {}
  void Show(const std::string& title, const std::string& text) override;
  const std::vector<std::string>& titles() const { return titles_; }
  // The next box is closed by a stop: Show throws StopRequested{reason}.
  void StopWhileShowing(const std::string& reason) { stop_reason_ = reason; }

 private:
  FakeJournal& journal_;
  std::vector<std::string> titles_;
  std::string stop_reason_;
};

class FakeLauncher : public Launcher {
 public:
  explicit FakeLauncher(FakeJournal& journal) : journal_(journal) {}
  void Launch(const std::string& pif_name) override;
  bool StartsItself(const std::string&) override { return starts_itself_; }
  // Makes every PIF one that the system cannot run by itself.
  void TakeNoDosPrograms() { starts_itself_ = false; }
  void FailWith(const std::string& message) { failure_ = message; }

 private:
  FakeJournal& journal_;
  std::string failure_;
  bool starts_itself_ = true;
};

// Thrown by FakeProcess::Exit in place of ending the test's process.
struct FakeExit {
  int status;
};

class FakeProcess : public Process {
 public:
  explicit FakeProcess(FakeJournal& journal) : journal_(journal) {}
  void WriteDiagnosticLine(const std::string& line) override;
  void Exit(int status) override;
  const std::vector<std::string>& diagnostics() const { return diagnostics_; }

 private:
  FakeJournal& journal_;
  std::vector<std::string> diagnostics_;
};

// Keeps every event with the fake time it was recorded at.
class FakeTrace : public Trace {
 public:
  explicit FakeTrace(const FakeClock& clock) : clock_(clock) {}
  bool enabled() const override { return true; }
  void Record(const std::string& event) override {
    events_.push_back(event);
    times_.push_back(clock_.now());
  }
  const std::vector<std::string>& events() const { return events_; }
  double TimeOf(int index) const { return times_.at(index); }

 private:
  const FakeClock& clock_;
  std::vector<std::string> events_;
  std::vector<double> times_;
};

// A log in memory: each line recorded is kept, as "failure <cause>" or
// "message <text>", and LastFailure answers what the test set.
class FakeFailureLog : public FailureLog {
 public:
  std::string path() const override {
    return "/home/user/.local/state/zindo-relay/zindo-relay.log";
  }
  void RecordFailure(const std::string& cause) override {
    lines.push_back("failure " + cause);
  }
  void RecordMessage(const std::string& text) override {
    lines.push_back("message " + text);
  }
  std::string LastFailure() override {
    if (read_failure) throw *read_failure;
    return last_failure;
  }

  std::vector<std::string> lines;
  std::string last_failure;           // "" when the log holds none
  std::optional<Error> read_failure;  // when set, LastFailure throws it
};

// Programs that start without running, on a machine whose drive C: is the
// native directory "/c" and whose working directory is "/c/ZINDO". Records
// "start <program>" for every program started.
class FakePrograms : public Programs {
 public:
  explicit FakePrograms(FakeJournal& journal) : journal_(journal) {}

  Search Find(const std::string& name) override;
  // The relay is in /opt/zindo-relay.
  Search FindBesideRelay(const std::string& folder,
                         const std::string& name) override;
  // Finds what `installed_at` holds for the name, and records where it was
  // asked to look in `installed_asked`.
  Search FindInstalled(const Installed& installed) override;
  // What `first_lines` holds for the program; "" for the rest.
  std::string FirstLineOf(const std::vector<std::string>& arguments) override {
    const auto line = first_lines.find(arguments.at(0));
    return line == first_lines.end() ? "" : line->second;
  }
  std::string NoDosReason() override { return "this system cannot run DOS"; }
  int StartDetached(const ProgramRun& run) override;
  bool IsRunning(int) override { return running; }
  std::map<char, Drive> MappedDrives() override { return drives; }
  std::string WorkingDirectory() override { return "/c/ZINDO"; }
  std::string ResolvedDirectory(const std::string& native_path) override;
  // The user's files are in "/prefix".
  UserFile ReadUserFile(const std::string& name) override;

  static constexpr int kProcessId = 4242;
  bool installed = true;  // Find finds the programs named in `on_path`,
                          // in /usr/bin
  std::set<std::string> on_path = {"dosbox"};
  bool brought = false;  // FindBesideRelay finds every program
  std::map<std::string, std::string> installed_at;  // by name
  std::vector<Installed> installed_asked;
  std::map<std::string, std::string> first_lines;  // by program
  bool running = true;  // every program started runs until this is false
  std::map<char, Drive> drives = {{'C', {"/c", false}}};
  // The directories that exist, each with the path it resolves to (another
  // one where a link leads elsewhere).
  std::map<std::string, std::string> directories = {{"/c", "/c"},
                                                    {"/c/ZINDO", "/c/ZINDO"}};
  std::map<std::string, std::string> user_files;  // by name
  std::vector<ProgramRun> runs;                   // every program started
  std::optional<Error> start_failure;  // when set, every start fails with it

 private:
  FakeJournal& journal_;
};

// A display on which every key sent is recorded as "key <process id>
// Ctrl+F<number>".
class FakeDesktop : public Desktop {
 public:
  explicit FakeDesktop(FakeJournal& journal) : journal_(journal) {}
  bool HasDisplay() override { return display; }
  bool SentKeysNeedWindowMessages() override { return needs_window_messages; }
  void SendControlFunctionKey(int process_id, int number) override;

  bool display = true;
  bool needs_window_messages = false;
  std::string failure;  // when set, every key fails with it

 private:
  FakeJournal& journal_;
};

// Good surroundings, with a DOSBox that tells its version, and a device
// as good as `device` says. Records the ports asked about.
class FakeSurroundings : public Surroundings {
 public:
  Finding Prefix() override { return {Finding::Verdict::kGood, "/prefix", ""}; }
  Finding WorkingDirectory() override {
    return {Finding::Verdict::kGood, "/c/ZINDO", ""};
  }
  std::string NativePath(const std::string&) override { return ""; }
  Finding Device(int port) override {
    devices_asked.push_back(port);
    return device;
  }
  Finding Display() override { return {Finding::Verdict::kGood, ":0", ""}; }
  Finding DirectoryWatching() override {
    return {Finding::Verdict::kGood, "inotify", ""};
  }
  std::string ProgramVersion(const std::string&) override {
    return "DOSBox version 0.74-3";
  }

  Finding device{Finding::Verdict::kGood, "COM?: can be opened now", ""};
  std::vector<int> devices_asked;
};

// Every fake, wired together.
struct FakePlatform {
  FakePlatform() { journal.set_clock(&clock); }
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;
  FakeJournal journal;
  FakeClock clock;
  FakeEventPump events{clock};
  FakeFileSystem files{journal};
  FakeSerialPorts ports{journal};
  FakeMessageBox message_box{journal};
  FakeLauncher launcher{journal};
  FakeProcess process{journal};
  FakeTrace trace{clock};
  FakeFailureLog log;
  FakePrograms programs{journal};
  FakeDesktop desktop{journal};
  Platform platform{clock,    events,  files, ports, message_box,
                    launcher, process, trace, log};
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_PLATFORM_H_

#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <utility>

#include "base/dos_path.h"
#include "base/error.h"
#include "platform/system/stop_request.h"

namespace zindo {

void FakeJournal::Record(const std::string& entry) {
  entries_.push_back(entry);
  times_.push_back(clock_ ? clock_->now() : 0.0);
  if (on_record_) on_record_(entry);
}

int FakeJournal::Find(const std::string& prefix) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].starts_with(prefix)) return static_cast<int>(i);
  }
  return -1;
}

int FakeJournal::Count(const std::string& prefix) const {
  return static_cast<int>(std::count_if(
      entries_.begin(), entries_.end(),
      [&](const std::string& e) { return e.starts_with(prefix); }));
}

std::string HexBytes(const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    if (!text.empty()) text += ' ';
    text += hex;
  }
  return text;
}

void FakeClock::Advance(double seconds) {
  now_ = std::fmod(now_ + seconds, 86400.0);
  monotonic_ += seconds;
}

void FakeEventPump::Yield(double max_wait_seconds, WakeOn wake_on) {
  if (++yields_ > kYieldLimit) throw Error("fake event pump: yield limit");
  if (wake_on == WakeOn::kTimeOnly) ++time_only_yields_;
  double step = std::clamp(max_wait_seconds, 0.0, tick_);
  clock_.Advance(step);
  std::vector<Scheduled> due;
  for (auto it = scheduled_.begin(); it != scheduled_.end();) {
    it->remaining -= step;
    if (it->remaining <= 1e-9) {
      due.push_back(std::move(*it));
      it = scheduled_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& scheduled : due) scheduled.action();
  if (!stop_reason_.empty()) throw StopRequested{stop_reason_};
}

void FakeEventPump::After(double seconds, std::function<void()> action) {
  scheduled_.push_back({seconds, std::move(action)});
}

// ---- files ----

namespace {

// The drive root ("c:", or "" for the working directory) and the
// components of `path`, without empty ones and ".".
std::pair<std::string, std::vector<std::string>> SplitPath(
    const std::string& path) {
  DosPathParts parts = SplitDosPath(path);
  std::string root;
  if (parts.drive != 0) root = {AsciiLower(parts.drive), ':'};
  return {root, std::move(parts.names)};
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : directory + "\\" + name;
}

std::string Folded(const std::string& path) {
  std::string folded = AsciiLowerCase(path);
  while (folded.ends_with('\\')) folded.pop_back();
  return folded;
}

class FakeSequentialFile : public SequentialFile {
 public:
  explicit FakeSequentialFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string Read(size_t n) override {
    std::string chunk = bytes_.substr(std::min(offset_, bytes_.size()), n);
    offset_ += chunk.size();
    return chunk;
  }

 private:
  std::string bytes_;
  size_t offset_ = 0;
};

}  // namespace

FakeFileSystem::FakeFileSystem(FakeJournal& journal) : journal_(journal) {
  entries_[""] = Entry{.directory = true, .bytes = ""};
  entries_["c:"] = Entry{.directory = true, .bytes = ""};
}

std::string FakeFileSystem::Location::StoredPath() const {
  return Join(directory, stored);
}

std::string FakeFileSystem::Location::RequestedPath() const {
  return Join(directory, requested);
}

FakeFileSystem::Location FakeFileSystem::Locate(const std::string& path) const {
  auto [root, components] = SplitPath(path);
  Location location;
  location.directory = root;
  auto root_entry = entries_.find(root);
  location.directory_exists =
      root_entry != entries_.end() && root_entry->second.directory;
  for (std::size_t i = 0; i < components.size(); ++i) {
    const std::string stored = location.directory_exists
                                   ? Match(location.directory, components[i])
                                   : "";
    if (i + 1 == components.size()) {
      location.requested = components[i];
      location.stored = stored;
      break;
    }
    const std::string next =
        Join(location.directory, stored.empty() ? components[i] : stored);
    location.directory_exists = !stored.empty() && entries_.at(next).directory;
    location.directory = next;
  }
  return location;
}

// `name` itself when stored so, otherwise the least matching name.
std::string FakeFileSystem::Match(const std::string& directory,
                                  const std::string& name) const {
  const std::string prefix = directory.empty() ? "" : directory + "\\";
  const std::string folded = Folded(name);
  std::string found;
  for (auto it = entries_.lower_bound(prefix);
       it != entries_.end() && it->first.starts_with(prefix); ++it) {
    const std::string stored = it->first.substr(prefix.size());
    if (stored.empty() || stored.find('\\') != std::string::npos) continue;
    if (stored == name) return stored;
    if (Folded(stored) == folded && (found.empty() || stored < found)) {
      found = stored;
    }
  }
  return found;
}

const FakeFileSystem::Entry* FakeFileSystem::Find(
    const Location& location) const {
  if (location.stored.empty()) return nullptr;
  return &entries_.at(location.StoredPath());
}

std::string FakeFileSystem::StoredName(const std::string& path) {
  return Locate(path).stored;
}

void FakeFileSystem::CreateDirectory(const std::string& path) {
  journal_.Record("mkdir " + path);
  const Location location = Locate(path);
  if (!location.stored.empty()) {
    throw Error("mkdir " + path + ": File exists", ErrorKind::kExists);
  }
  if (!location.directory_exists) {
    throw Error("mkdir " + path + ": No such file", ErrorKind::kNotFound);
  }
  entries_[location.RequestedPath()] = Entry{.directory = true, .bytes = ""};
}

void FakeFileSystem::WriteFile(const std::string& path,
                               const std::string& bytes) {
  journal_.Record("write " + path + " " + HexBytes(bytes));
  if (failing_writes_.contains(Folded(path))) {
    throw Error("open " + path + ": Permission denied");
  }
  const Location location = Locate(path);
  FileToWrite(path, location.stored.empty() ? location.RequestedPath()
                                            : location.StoredPath())
      .bytes = bytes;
}

// The file stored under `stored_path`, created when missing.
FakeFileSystem::Entry& FakeFileSystem::FileToWrite(
    const std::string& path, const std::string& stored_path) {
  const Location location = Locate(path);
  if (!location.directory_exists) {
    throw Error("open " + path + ": No such directory", ErrorKind::kNotFound);
  }
  Entry& entry = entries_[stored_path];
  if (entry.directory) {
    throw Error("open " + path + ": it is a directory, not a regular file");
  }
  return entry;
}

std::string FakeFileSystem::NonFileKind(const std::string& path) {
  const Entry* entry = Find(Locate(path));
  return entry != nullptr && entry->directory ? "a directory" : "";
}

std::unique_ptr<SequentialFile> FakeFileSystem::OpenForReading(
    const std::string& path) {
  journal_.Record("read " + path);
  const Entry* entry = Find(Locate(path));
  if (entry == nullptr || failing_reads_.contains(Folded(path))) {
    throw Error("open " + path + ": No such file or directory",
                ErrorKind::kNotFound);
  }
  if (entry->directory) {
    throw Error("open " + path + ": it is a directory, not a regular file");
  }
  return std::make_unique<FakeSequentialFile>(entry->bytes);
}

void FakeFileSystem::DeleteFile(const std::string& path) {
  journal_.Record("delete " + path);
  const Location location = Locate(path);
  const Entry* entry = Find(location);
  if (entry == nullptr) {
    throw Error("delete " + path + ": No such file or directory",
                ErrorKind::kNotFound);
  }
  if (entry->directory) throw Error("delete " + path + ": Is a directory");
  entries_.erase(location.StoredPath());
}

void FakeFileSystem::Put(const std::string& path, const std::string& bytes) {
  FileToWrite(path, Locate(path).RequestedPath()).bytes = bytes;
}

void FakeFileSystem::PutDirectory(const std::string& path) {
  auto [root, components] = SplitPath(path);
  std::string directory = root;
  for (const std::string& component : components) {
    const std::string stored = Match(directory, component);
    directory = Join(directory, stored.empty() ? component : stored);
    entries_[directory].directory = true;
  }
}

bool FakeFileSystem::Exists(const std::string& path) const {
  const Entry* entry = Find(Locate(path));
  return entry != nullptr && !entry->directory;
}

std::string FakeFileSystem::Contents(const std::string& path) const {
  const Entry* entry = Find(Locate(path));
  return entry != nullptr && !entry->directory ? entry->bytes : "";
}

void FakeFileSystem::FailWritesTo(const std::string& path) {
  failing_writes_.insert(Folded(path));
}

void FakeFileSystem::FailReadsOf(const std::string& path) {
  failing_reads_.insert(Folded(path));
}

// ---- serial ports ----

namespace {

class FakeSerialDevice : public SerialDevice {
 public:
  FakeSerialDevice(int port, FakeLine& line, FakeJournal& journal)
      : name_("COM" + std::to_string(port)), line_(line), journal_(journal) {
    line_.open = true;
  }
  ~FakeSerialDevice() override {
    line_.open = false;
    journal_.Record("close " + name_);
  }
  void SetRts(bool on) override {
    CheckPresent();
    line_.rts = on;
    journal_.Record(std::string("rts ") + (on ? "on" : "off"));
  }
  bool CarrierDetect() override {
    CheckPresent();
    return line_.carrier_detect;
  }
  int BytesWaiting() override {
    CheckPresent();
    return static_cast<int>(line_.received.size());
  }
  std::string ReadAll() override {
    CheckPresent();
    journal_.Record("input " + HexBytes(line_.received));
    return std::exchange(line_.received, "");
  }
  void Write(const std::string& bytes) override {
    CheckPresent();
    journal_.Record("output " + HexBytes(bytes));
    line_.written += bytes;
    if (line_.on_write) line_.on_write(bytes);
  }

 private:
  void CheckPresent() const {
    if (line_.gone)
      throw Error(name_ + ": Input/output error", ErrorKind::kGone);
  }
  std::string name_;
  FakeLine& line_;
  FakeJournal& journal_;
};

std::string SettingsText(const LineSettings& settings) {
  static const char kParity[] = {'N', 'O', 'E', 'M', 'S'};
  return std::to_string(settings.baud) + "," +
         kParity[static_cast<int>(settings.parity)] + "," +
         std::to_string(settings.data_bits) + "," +
         std::to_string(settings.stop_bits);
}

}  // namespace

std::unique_ptr<SerialDevice> FakeSerialPorts::Open(
    int port, const LineSettings& settings) {
  std::string name = "COM" + std::to_string(port);
  journal_.Record("open " + name + " " + SettingsText(settings));
  if (auto failure = open_failures_.find(port);
      failure != open_failures_.end()) {
    throw Error(failure->second);
  }
  FakeLine& fake_line = lines_[port];
  if (fake_line.open) {
    throw Error(name + ": Device or resource busy", ErrorKind::kBusy);
  }
  if (fake_line.gone) {
    throw Error(name + ": No such file or directory", ErrorKind::kNotFound);
  }
  last_opened_ = port;
  return std::make_unique<FakeSerialDevice>(port, fake_line, journal_);
}

void FakeSerialPorts::FailOpen(int port, const std::string& message) {
  open_failures_[port] = message;
}

// ---- the rest ----

void FakeMessageBox::Show(const std::string& title, const std::string& text) {
  titles_.push_back(title);
  journal_.Record("message " + text);
  if (!stop_reason_.empty()) {
    throw StopRequested{std::exchange(stop_reason_, "")};
  }
}

void FakeLauncher::Launch(const std::string& pif_name) {
  journal_.Record("launch " + pif_name);
  if (!failure_.empty()) throw Error(failure_);
}

void FakeProcess::WriteDiagnosticLine(const std::string& line) {
  diagnostics_.push_back(line);
}

void FakeProcess::Exit(int status) {
  journal_.Record("exit " + std::to_string(status));
  throw FakeExit{status};
}

// ---- other programs and the desktop ----

Programs::Search FakePrograms::Find(const std::string& name) {
  const bool found = installed && on_path.contains(name);
  return {found ? "/usr/bin/" + name : "",
          "for " + name + " on PATH (/usr/bin)"};
}

Programs::Search FakePrograms::FindInstalled(const Installed& wanted) {
  installed_asked.push_back(wanted);
  const auto found = installed_at.find(wanted.name);
  return {found == installed_at.end() ? "" : found->second,
          "where " + wanted.name + "'s installer records it"};
}

Programs::Search FakePrograms::FindBesideRelay(const std::string& folder,
                                               const std::string& name) {
  const std::string path = "/opt/zindo-relay/" + folder + "/" + name;
  return {brought ? path : "", "for " + path};
}

int FakePrograms::StartDetached(const ProgramRun& run) {
  journal_.Record("start " + run.arguments.at(0));
  if (start_failure) throw *start_failure;
  runs.push_back(run);
  return kProcessId;
}

std::string FakePrograms::ResolvedDirectory(const std::string& native_path) {
  const auto found = directories.find(native_path);
  if (found == directories.end()) {
    throw Error(
        "find the directory " + native_path + ": No such file or directory",
        ErrorKind::kNotFound);
  }
  return found->second;
}

Programs::UserFile FakePrograms::ReadUserFile(const std::string& name) {
  const auto found = user_files.find(name);
  if (found == user_files.end()) return {"/prefix/" + name, std::nullopt};
  return {"/prefix/" + name, found->second};
}

void FakeDesktop::SendControlFunctionKey(int process_id, int number) {
  journal_.Record("key " + std::to_string(process_id) + " Ctrl+F" +
                  std::to_string(number));
  if (!failure.empty()) throw Error(failure);
}

}  // namespace zindo

#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/error.h"
#include "platform/stop_request.h"

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

std::string LastComponent(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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
  directories_[""] = "";
  directories_["c:"] = "c:";
}

std::string FakeFileSystem::Key(const std::string& path) {
  std::string key = path;
  for (char& c : key) c = static_cast<char>(std::tolower(c));
  while (key.ends_with('\\')) key.pop_back();
  return key;
}

bool FakeFileSystem::ParentExists(const std::string& key) const {
  size_t slash = key.rfind('\\');
  return directories_.contains(
      slash == std::string::npos ? "" : key.substr(0, slash));
}

std::string FakeFileSystem::StoredName(const std::string& path) {
  std::string key = Key(path);
  if (auto file = files_.find(key); file != files_.end()) {
    return LastComponent(file->second.stored_path);
  }
  if (auto dir = directories_.find(key); dir != directories_.end()) {
    return LastComponent(dir->second);
  }
  return "";
}

void FakeFileSystem::CreateDirectory(const std::string& path) {
  journal_.Record("mkdir " + path);
  std::string key = Key(path);
  if (directories_.contains(key) || files_.contains(key)) {
    throw Error("mkdir " + path + ": File exists");
  }
  if (!ParentExists(key)) throw Error("mkdir " + path + ": No such file");
  directories_[key] = path;
}

void FakeFileSystem::WriteFile(const std::string& path,
                               const std::string& bytes) {
  journal_.Record("write " + path + " " + HexBytes(bytes));
  std::string key = Key(path);
  if (failing_writes_.contains(key)) {
    throw Error("open " + path + ": Permission denied");
  }
  Put(path, bytes);
}

std::string FakeFileSystem::NonFileKind(const std::string& path) {
  return directories_.contains(Key(path)) ? "a directory" : "";
}

std::unique_ptr<SequentialFile> FakeFileSystem::OpenForReading(
    const std::string& path) {
  journal_.Record("read " + path);
  std::string key = Key(path);
  auto file = files_.find(key);
  if (file == files_.end() || failing_reads_.contains(key)) {
    throw Error("open " + path + ": No such file or directory");
  }
  return std::make_unique<FakeSequentialFile>(file->second.bytes);
}

void FakeFileSystem::DeleteFile(const std::string& path) {
  journal_.Record("delete " + path);
  if (files_.erase(Key(path)) == 0) {
    throw Error("delete " + path + ": No such file or directory");
  }
}

void FakeFileSystem::Put(const std::string& path, const std::string& bytes) {
  std::string key = Key(path);
  if (!ParentExists(key)) throw Error("open " + path + ": No such directory");
  auto [file, created] = files_.try_emplace(key, File{path, ""});
  file->second.bytes = bytes;
}

void FakeFileSystem::PutDirectory(const std::string& path) {
  directories_[Key(path)] = path;
}

bool FakeFileSystem::Exists(const std::string& path) const {
  return files_.contains(Key(path));
}

std::string FakeFileSystem::Contents(const std::string& path) const {
  auto file = files_.find(Key(path));
  return file == files_.end() ? "" : file->second.bytes;
}

void FakeFileSystem::FailWritesTo(const std::string& path) {
  failing_writes_.insert(Key(path));
}

void FakeFileSystem::FailReadsOf(const std::string& path) {
  failing_reads_.insert(Key(path));
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
    if (line_.gone) throw Error(name_ + ": Input/output error");
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
  if (fake_line.open) throw Error(name + ": Device or resource busy");
  if (fake_line.gone) throw Error(name + ": No such file or directory");
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

}  // namespace zindo

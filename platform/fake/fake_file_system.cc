#include "platform/fake/fake_file_system.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "base/dos_path.h"
#include "base/error.h"

namespace zindo {

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
  entries_[""] =
      Entry{.directory = true, .bytes = "", .link = "", .another_users = false};
  entries_["c:"] =
      Entry{.directory = true, .bytes = "", .link = "", .another_users = false};
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

const FakeFileSystem::Entry* FakeFileSystem::Followed(
    const Entry* entry) const {
  if (entry == nullptr || entry->link.empty() || entry->another_users) {
    return entry;
  }
  const auto target = entries_.find(entry->link);
  return target == entries_.end() ? nullptr : &target->second;
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
  entries_[location.RequestedPath()] =
      Entry{.directory = true, .bytes = "", .link = "", .another_users = false};
}

void FakeFileSystem::WriteFile(const std::string& path,
                               const std::string& bytes) {
  journal_.Record("write " + path + " " + HexBytes(bytes));
  if (failing_writes_.contains(Folded(path))) {
    throw Error("open " + path + ": Permission denied");
  }
  const Location location = Locate(path);
  const Entry* found = Find(location);
  std::string stored_path = location.stored.empty() ? location.RequestedPath()
                                                    : location.StoredPath();
  if (found != nullptr && Followed(found) != found) {
    stored_path = found->link;  // the user's own link: its file is rewritten
  } else if (found != nullptr && found->another_users) {
    entries_.erase(stored_path);  // replaced by the file
  }
  FileToWrite(path, stored_path).bytes = bytes;
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
  if (entry != nullptr && entry->another_users) {
    return kUnfollowedLink;
  }
  return entry != nullptr && entry->directory ? "a directory" : "";
}

std::unique_ptr<SequentialFile> FakeFileSystem::OpenForReading(
    const std::string& path) {
  journal_.Record("read " + path);
  if (const std::string kind = NonFileKind(path); !kind.empty()) {
    throw Error("open " + path + ": it is " + kind + ", not a regular file");
  }
  const Entry* entry = Followed(Find(Locate(path)));
  if (entry == nullptr || failing_reads_.contains(Folded(path))) {
    throw Error("open " + path + ": No such file or directory",
                ErrorKind::kNotFound);
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

void FakeFileSystem::PutLink(const std::string& path, const std::string& target,
                             bool another_users) {
  const Location named = Locate(target);
  Entry& link = FileToWrite(path, Locate(path).RequestedPath());
  link.link = named.StoredPath();
  link.another_users = another_users;
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
  const Entry* entry = Followed(Find(Locate(path)));
  return entry != nullptr && !entry->directory;
}

std::string FakeFileSystem::Contents(const std::string& path) const {
  const Entry* entry = Followed(Find(Locate(path)));
  return entry != nullptr && !entry->directory ? entry->bytes : "";
}

void FakeFileSystem::FailWritesTo(const std::string& path) {
  failing_writes_.insert(Folded(path));
}

void FakeFileSystem::FailReadsOf(const std::string& path) {
  failing_reads_.insert(Folded(path));
}

}  // namespace zindo

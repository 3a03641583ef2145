#ifndef ZINDO_PLATFORM_FAKE_FAKE_FILE_SYSTEM_H_
#define ZINDO_PLATFORM_FAKE_FAKE_FILE_SYSTEM_H_

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/fake/fake_journal.h"
#include "platform/files/file_system.h"

namespace zindo {

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
  // Makes `path` a symbolic link to the file `target` (both looked up as
  // the relay looks them up), owned by this user or by another one.
  void PutLink(const std::string& path, const std::string& target,
               bool another_users);
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
    std::string link;            // the stored path a link names, or ""
    bool another_users = false;  // a link that is not followed
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
  // The entry a followed link names (nullptr when it names nothing), or
  // `entry` itself when it is no such link.
  const Entry* Followed(const Entry* entry) const;
  Entry& FileToWrite(const std::string& path, const std::string& stored_path);
  FakeJournal& journal_;
  std::map<std::string, Entry> entries_;  // by stored path: "c:\zindo\X"
  std::set<std::string> failing_writes_;  // folded paths
  std::set<std::string> failing_reads_;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_FILE_SYSTEM_H_

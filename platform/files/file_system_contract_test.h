#ifndef ZINDO_PLATFORM_FILES_FILE_SYSTEM_CONTRACT_TEST_H_
#define ZINDO_PLATFORM_FILES_FILE_SYSTEM_CONTRACT_TEST_H_

// What every FileSystem promises, stated once and run against each one: the
// in-memory fake, and the system's own in a temporary working directory.
// Each implementation's test file instantiates FileSystemContract with a
// factory for it.

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "gtest/gtest.h"
#include "platform/files/file_system.h"

namespace zindo {

// A file system under test, with a way around it for the set-up.
class FileSystemUnderTest {
 public:
  virtual ~FileSystemUnderTest() = default;

  // The service under test; relative paths start in a working directory
  // that is empty at first.
  virtual FileSystem& files() = 0;

  // Writes `bytes` to `name` in the working directory as another program
  // would, through the system itself rather than the service.
  virtual void WriteNative(const std::string& name,
                           const std::string& bytes) = 0;

  // Who a link made for a test belongs to.
  enum class LinkOwner { kThisUser, kAnotherUser };

  // Makes `name` in the working directory a symbolic link to `target`, a
  // file there, owned by `owner`, as another program would. Returns why
  // this system or this run cannot make it ("... needs root"), or "" once
  // it is made.
  virtual std::string MakeLink(const std::string& name,
                               const std::string& target, LinkOwner owner) = 0;
};

// One file system to run the suite on, and where it may differ from the
// others.
struct FileSystemFactory {
  std::string name;
  // Whether one directory can hold names that differ only in case. Where it
  // cannot, a second name for an entry rewrites the entry instead.
  bool holds_case_variants = true;
  // Whether refusing to write over, or read, an entry that is no regular
  // file says what the entry is, or only gives the system's error.
  bool names_what_is_in_the_way = true;
  std::function<std::unique_ptr<FileSystemUnderTest>()> make;

  friend std::ostream& operator<<(std::ostream& out,
                                  const FileSystemFactory& factory) {
    return out << factory.name;
  }
};

class FileSystemContract : public ::testing::TestWithParam<FileSystemFactory> {
 protected:
  void SetUp() override { system_ = GetParam().make(); }
  FileSystem& files() { return system_->files(); }
  const FileSystemFactory& traits() const { return GetParam(); }

  std::unique_ptr<FileSystemUnderTest> system_;
};

// Names each instantiation's tests after the file system.
inline std::string FileSystemName(
    const ::testing::TestParamInfo<FileSystemFactory>& info) {
  return info.param.name;
}

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_FILE_SYSTEM_CONTRACT_TEST_H_

#include "platform/files/drives-posix.h"

#include <filesystem>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "platform/files/drives_contract_test.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

class PosixDrivesUnderTest : public DrivesUnderTest {
 public:
  Drives& drives() override { return drives_; }
  std::string Native(const std::string& relative) override {
    return root_ / relative;
  }
  std::string Resolved(const std::string& relative) override {
    return std::filesystem::canonical(root_.path()).string() + "/" + relative;
  }
  void MakeDirectory(const std::string& relative) override {
    posix_test::MakeDirectory(root_ / relative);
  }
  bool MakeDirectoryLink(const std::string& target,
                         const std::string& link) override {
    posix_test::MakeSymlink(root_ / target, root_ / link);
    return true;
  }
  std::string ShortName(const std::string&) override { return ""; }

 private:
  posix_test::TemporaryDirectory root_;
  PosixFileSystem files_{root_ / "prefix", root_.path()};
  PosixDrives drives_{files_};
};

INSTANTIATE_TEST_SUITE_P(
    Posix, DrivesContract,
    ::testing::Values(DrivesFactory{
        .name = "Posix",
        .missing_reason = "No such file or directory",
        .make = [] { return std::make_unique<PosixDrivesUnderTest>(); }}),
    DrivesName);

}  // namespace
}  // namespace zindo

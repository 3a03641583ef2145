#include "platform/files/drives-win32.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "platform/files/drives_contract_test.h"
#include "platform/testing/testing-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// The native spelling of `relative`, '/' between its names.
std::wstring WithBackslashes(const std::string& relative) {
  std::wstring path = ToUtf16(relative);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

class Win32DrivesUnderTest : public DrivesUnderTest {
 public:
  Drives& drives() override { return drives_; }
  std::string Native(const std::string& relative) override {
    return root_.path() + "\\" + ToUtf8(WithBackslashes(relative));
  }
  std::string Resolved(const std::string& relative) override {
    return ToUtf8(std::filesystem::canonical(ToUtf16(root_.path()))
                      .generic_wstring()) +
           "/" + relative;
  }
  void MakeDirectory(const std::string& relative) override {
    std::filesystem::create_directory(ToUtf16(Native(relative)));
  }
  // Windows lets a user without the privilege make a link only in
  // developer mode; a link is taken as made only where one is there.
  bool MakeDirectoryLink(const std::string& target,
                         const std::string& link) override {
    const std::wstring path = ToUtf16(Native(link));
    if (!::CreateSymbolicLinkW(
            path.c_str(), ToUtf16(Native(target)).c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY |
                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
      return false;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  std::string ShortName(const std::string& relative) override {
    const std::wstring path = ToUtf16(Native(relative));
    std::wstring short_path(MAX_PATH, L'\0');
    const DWORD size = ::GetShortPathNameW(
        path.c_str(), short_path.data(), static_cast<DWORD>(short_path.size()));
    if (size == 0 || size >= short_path.size()) return "";
    short_path.resize(size);
    const std::wstring name = short_path.substr(short_path.rfind(L'\\') + 1);
    return name == path.substr(path.rfind(L'\\') + 1) ? "" : ToUtf8(name);
  }

 private:
  win32_test::TemporaryDirectory root_;
  Win32FileSystem files_{root_.path()};
  Win32Drives drives_{files_};
};

// The words for a missing directory are the system's, in its language.
INSTANTIATE_TEST_SUITE_P(
    Win32, DrivesContract,
    ::testing::Values(DrivesFactory{
        .name = "Win32",
        .missing_reason = "",
        .blind_to_case = true,
        .make = [] { return std::make_unique<Win32DrivesUnderTest>(); }}),
    DrivesName);

}  // namespace
}  // namespace zindo

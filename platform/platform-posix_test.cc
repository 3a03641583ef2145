#include "platform/platform-posix.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/platform.h"
#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::ReadNativeFile;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// Sets (or, with nullptr, clears) an environment variable for one test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedVariable() {
    saved_ ? ::setenv(name_, saved_->c_str(), 1) : ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(PrefixFromEnvironmentTest, ZindoPrefixThenDotZindoInHome) {
  ScopedVariable home("HOME", "/home/user");
  {
    ScopedVariable prefix("ZINDO_PREFIX", "/srv/zindo");
    EXPECT_EQ(PrefixFromEnvironment(), "/srv/zindo");
  }
  {
    ScopedVariable prefix("ZINDO_PREFIX", "");
    EXPECT_EQ(PrefixFromEnvironment(), "/home/user/.zindo");
  }
  ScopedVariable prefix("ZINDO_PREFIX", nullptr);
  EXPECT_EQ(PrefixFromEnvironment(), "/home/user/.zindo");
  ScopedVariable no_home("HOME", nullptr);
  EXPECT_THAT([] { CreateSystemPlatform(); },
              ThrowsMessage<Error>(HasSubstr("ZINDO_PREFIX")));
}

TEST(CreateSystemPlatformTest, ServesTheStartDirectoryAndThePrefix) {
  posix_test::TemporaryDirectory root;
  posix_test::MakeDirectory(root / "work");
  // Relative: taken from the directory the relay started in.
  ScopedVariable prefix("ZINDO_PREFIX", "prefix");
  std::unique_ptr<SystemPlatform> system;

  posix_test::InDirectory(root / "work",
                          [&] { system = CreateSystemPlatform(); });
  system->Get().files.WriteFile("ZINDOK1.TXT", "relative");
  system->Get().files.WriteFile("c:\\LOCAL6.DAT", "absolute");

  EXPECT_EQ(ReadNativeFile(root / "work/ZINDOK1.TXT"), "relative");
  EXPECT_EQ(ReadNativeFile(root / "work/prefix/drive_c/LOCAL6.DAT"),
            "absolute");
}

}  // namespace
}  // namespace zindo

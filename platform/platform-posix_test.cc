#include "platform/platform-posix.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "platform/system/failure_log.h"
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
  FakeFailureLog log;
  EXPECT_THAT([&] { CreateSystemPlatform(log); },
              ThrowsMessage<Error>(HasSubstr("ZINDO_PREFIX")));
}

TEST(CreateSystemPlatformTest, ServesTheStartDirectoryAndThePrefix) {
  posix_test::TemporaryDirectory root;
  posix_test::MakeDirectory(root / "work");
  // Relative: taken from the directory the relay started in.
  ScopedVariable prefix("ZINDO_PREFIX", "prefix");
  FakeFailureLog log;
  std::unique_ptr<SystemPlatform> system;

  posix_test::InDirectory(root / "work",
                          [&] { system = CreateSystemPlatform(log); });
  system->Get().files.WriteFile("ZINDOK1.TXT", "relative");
  system->Get().files.WriteFile("c:\\LOCAL6.DAT", "absolute");

  EXPECT_EQ(ReadNativeFile(root / "work/ZINDOK1.TXT"), "relative");
  EXPECT_EQ(ReadNativeFile(root / "work/prefix/drive_c/LOCAL6.DAT"),
            "absolute");
}

// The log goes where the user's other programs keep theirs; a relative
// XDG_STATE_HOME does not count.
TEST(FailureLogPlaceTest, IsTheUsersStateFolder) {
  const struct {
    const char* state;
    const char* home;
    std::string path;
  } cases[] = {
      {"/srv/state", "/home/user", "/srv/state/zindo-relay/zindo-relay.log"},
      {nullptr, "/home/user",
       "/home/user/.local/state/zindo-relay/zindo-relay.log"},
      {"state", "/home/user",
       "/home/user/.local/state/zindo-relay/zindo-relay.log"},
      {nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    ScopedVariable state("XDG_STATE_HOME", c.state);
    ScopedVariable home("HOME", c.home);
    const FailureLogPlace place = FailureLogPlaceHere();
    EXPECT_EQ(place.path, c.path);
    if (c.path.empty()) continue;
    EXPECT_EQ(place.folder + "/zindo-relay.log", place.path);
    EXPECT_EQ(place.folder + "/zindo-relay.old.log", place.older);
  }
}

}  // namespace
}  // namespace zindo

#include "platform/files/drives_contract_test.h"

#include <string>

#include "base/error.h"
#include "gmock/gmock.h"

namespace zindo {
namespace {

// The drives' directories are compared as the system reaches them: links
// followed, one spelling, '/' between the names.
TEST_P(DrivesContract, ResolvesLinksAndDotsAndNamesWhatIsMissing) {
  system_->MakeDirectory("c");
  system_->MakeDirectory("c/work");
  const bool linked = system_->MakeDirectoryLink("c/work", "link");
  const struct {
    std::string path;
    std::string resolved;  // "" when missing
    bool through_link = false;
  } cases[] = {
      {"c", "c"},
      {"link", "c/work", true},
      {"c/./work/../work/", "c/work"},
      {"missing/work", ""},
      {"link/missing", "", true},
  };
  for (const auto& c : cases) {
    if (c.through_link && !linked) continue;
    const std::string path = system_->Native(c.path);
    if (!c.resolved.empty()) {
      const std::string resolved = drives().ResolvedDirectory(path);
      EXPECT_EQ(resolved, system_->Resolved(c.resolved)) << path;
      EXPECT_EQ(resolved.find('\\'), std::string::npos) << resolved;
      continue;
    }
    try {
      drives().ResolvedDirectory(path);
      ADD_FAILURE() << "resolved " << path;
    } catch (const Error& failure) {
      const std::string what = failure.what();
      const std::string start = "find the directory " + path + ": ";
      EXPECT_THAT(what, ::testing::StartsWith(start));
      if (!GetParam().missing_reason.empty()) {
        EXPECT_EQ(what, start + GetParam().missing_reason);
      }
      EXPECT_TRUE(failure.Is(ErrorKind::kNotFound)) << what;
    }
  }
}

}  // namespace
}  // namespace zindo

#include "platform/files/drives_contract_test.h"

#include <string>
#include <vector>

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

// Two names of one directory resolve to one path: a link, another case
// where the system ignores case, a short name where it keeps them. Found
// as listed, a name is matched in any case but never by its short name.
TEST_P(DrivesContract, ResolvesEveryNameOfADirectoryAlike) {
  system_->MakeDirectory("c");
  system_->MakeDirectory("c/Long Name");
  const bool linked = system_->MakeDirectoryLink("c/Long Name", "c/link");
  const std::string resolved = system_->Resolved("c/Long Name");
  const std::string root = system_->Native("c");
  EXPECT_EQ(drives().ResolvedAsListed(root, "LONG NAME"), resolved);
  EXPECT_EQ(drives().ResolvedAsListed(system_->Native(""), "c/long name"),
            resolved);
  if (linked) {
    EXPECT_EQ(drives().ResolvedAsListed(root, "LINK"), resolved);
  }
  if (GetParam().blind_to_case) {
    EXPECT_EQ(drives().ResolvedDirectory(system_->Native("C/LONG NAME")),
              resolved);
  }
  const std::string short_name = system_->ShortName("c/Long Name");
  std::vector<std::string> missing = {"missing", "LONG NAME/missing"};
  if (!short_name.empty()) {
    EXPECT_EQ(drives().ResolvedDirectory(system_->Native("c/" + short_name)),
              resolved);
    missing.push_back(short_name);
  }
  for (const std::string& names : missing) {
    try {
      drives().ResolvedAsListed(root, names);
      ADD_FAILURE() << "found " << names;
    } catch (const Error& failure) {
      EXPECT_THAT(failure.what(),
                  ::testing::StartsWith("find the directory " + root))
          << names;
      EXPECT_TRUE(failure.Is(ErrorKind::kNotFound)) << failure.what();
    }
  }
}

}  // namespace
}  // namespace zindo

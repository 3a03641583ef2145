#include "platform/surroundings-posix.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/testing-posix.h"

namespace zindo {
namespace {

using posix_test::TemporaryDirectory;
using Verdict = Finding::Verdict;

// A port's device as --check judges it, whether a link names it or the relay
// would fall back to the built-in port of its number: a device that is not
// there is a problem either way, and a fallback that is there is a warning.
TEST(LocalDeviceFindingTest, MissingIsAProblemAndAFallbackNeverPassesQuietly) {
  TemporaryDirectory folder;
  const std::string there = folder / "adapter";
  const std::string gone = folder / "unplugged";
  posix_test::WriteNativeFile(there, "");
  const std::string link = "/prefix/dosdevices/com2";
  const struct {
    std::string path, missing_link;
    Verdict verdict;
    std::string text, fix;
  } cases[] = {
      {gone, link, Verdict::kBlocking,
       "COM2: no " + link + " link, so the relay would open " + gone +
           ": no such port on this PC (it has COM4)",
       "map the adapter to the port: zindo-setup --map 2 ADAPTER"},
      {gone, "", Verdict::kBlocking, ": no such port on this PC (it has COM4)",
       "plug the adapter in"},
      {there, link, Verdict::kWarning, "a built-in port or the console",
       "map the adapter to the port: zindo-setup --map 2 ADAPTER"},
      {there, "", Verdict::kGood, "can be opened now", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + ", missing link \"" + c.missing_link + "\"");
    const Finding finding =
        LocalDeviceFinding(2, c.path, c.missing_link, {{4, "COM4 (/x)"}});
    EXPECT_EQ(finding.verdict, c.verdict);
    EXPECT_NE(finding.text.find(c.text), std::string::npos) << finding.text;
    EXPECT_EQ(finding.fix.substr(0, c.fix.size()), c.fix) << finding.fix;
  }
}

}  // namespace
}  // namespace zindo

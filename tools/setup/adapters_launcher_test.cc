#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "base/error.h"
#include "dos/program_information.h"
#include "tools/setup/adapters.h"
#include "tools/setup/companion_drives.h"
#include "tools/setup/launcher.h"

namespace zindo::tools {
namespace {

namespace fs = std::filesystem;

// A stand-in for /dev/serial/by-id and /dev, and a prefix, in a temporary
// directory.
class SetupTest : public ::testing::Test {
 protected:
  SetupTest() {
    char pattern[] = "/tmp/zindo-setup-test.XXXXXX";
    root_ = mkdtemp(pattern);
    fs::create_directories(root_ / "by-id");
    fs::create_directories(root_ / "dev");
  }
  ~SetupTest() override { fs::remove_all(root_); }

  // An adapter: a device file, and its stable name pointing to it as udev
  // points them, relatively.
  void Plug(const std::string& stable_name, const std::string& device) {
    std::ofstream(root_ / "dev" / device).put('\0');
    fs::create_symlink("../dev/" + device, root_ / "by-id" / stable_name);
  }
  std::string Path(const std::string& relative) const {
    return (root_ / relative).string();
  }

  fs::path root_;
};

TEST_F(SetupTest, ListsAdaptersByStableNameAndFindsThemByAnyName) {
  Plug("usb-Prolific_2303-if00-port0", "ttyUSB1");
  Plug("usb-FTDI_FT232R_A1B2-if00-port0", "ttyUSB0");
  fs::create_symlink("../dev/ttyUSB9", root_ / "by-id" / "usb-unplugged");
  const std::vector<Adapter> adapters = ListAdapters(Path("by-id"));
  ASSERT_EQ(adapters.size(), 2u);  // the dangling name is no adapter
  EXPECT_EQ(adapters[0].stable_path,
            Path("by-id/usb-FTDI_FT232R_A1B2-if00-port0"));
  EXPECT_EQ(adapters[0].device, Path("dev/ttyUSB0"));
  const struct {
    std::string name;
    std::string found;  // the device, "" for none
  } lookups[] = {
      {Path("by-id/usb-Prolific_2303-if00-port0"), Path("dev/ttyUSB1")},
      {"usb-Prolific_2303-if00-port0", Path("dev/ttyUSB1")},
      {Path("dev/ttyUSB0"), Path("dev/ttyUSB0")},
      {"ttyUSB0", Path("dev/ttyUSB0")},
      {"ttyUSB9", ""},
      {"usb-Prolific", ""},
  };
  for (const auto& [name, found] : lookups) {
    const std::optional<Adapter> adapter = FindAdapter(adapters, name);
    EXPECT_EQ(adapter ? adapter->device : "", found) << name;
  }
  EXPECT_TRUE(ListAdapters(Path("no-such-directory")).empty());
}

// A port is mapped through the adapter's stable name. What is already there
// is kept unless it is the same link or a pseudo-terminal's, or --force.
TEST_F(SetupTest, MapsPortsAndKeepsWhatIsInTheWay) {
  Plug("usb-FTDI-port0", "ttyUSB0");
  const std::string adapter = Path("by-id/usb-FTDI-port0");
  const std::string prefix = Path("prefix");  // no dosdevices yet
  EXPECT_EQ(MapPort(prefix, 3, adapter, false), Mapping::kMade);
  EXPECT_EQ(MapPort(prefix, 3, adapter, false), Mapping::kAlreadyThere);
  const struct {
    std::string name;
    std::function<void(const fs::path&)> put;
    bool kept_without_force;
  } in_the_way[] = {
      {"a link to another port",
       [](const fs::path& p) { fs::create_symlink("/dev/ttyUSB5", p); }, true},
      {"a file", [](const fs::path& p) { std::ofstream(p).put('x'); }, true},
      {"a pseudo-terminal's link",
       [](const fs::path& p) { fs::create_symlink("/dev/pts/7", p); }, false},
  };
  for (const auto& c : in_the_way) {
    const fs::path link = root_ / "prefix/dosdevices/com1";
    fs::remove(link);
    c.put(link);
    if (c.kept_without_force) {
      EXPECT_THROW(MapPort(prefix, 1, adapter, false), Error) << c.name;
      std::error_code not_a_link;
      EXPECT_NE(fs::read_symlink(link, not_a_link), adapter);
    }
    EXPECT_EQ(MapPort(prefix, 1, adapter, c.kept_without_force), Mapping::kMade)
        << c.name;
    EXPECT_EQ(fs::read_symlink(link), adapter) << c.name;
  }
  EXPECT_THROW(MapPort(prefix, 256, adapter, true), Error);
  fs::remove(root_ / "dev/ttyUSB0");  // unplugged
  const std::vector<MappedPort> ports = ListMappedPorts(prefix);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].number, 1);
  EXPECT_EQ(ports[1].number, 3);
  EXPECT_EQ(ports[1].target, adapter);
  EXPECT_EQ(ports[1].device, "");
}

// A DOS companion's folder, whatever its name, is reached as its PIF
// expects; what is in the prefix already is kept, but zindo-setup's own.
TEST_F(SetupTest, MapsTheCompanionsFolderAsItsPifExpects) {
  const std::string prefix = Path("prefix");
  const struct {
    std::string name;
    std::string start;  // the PIF's start folder; "-" for no PIF at all
    std::function<void(const fs::path& prefix)> before;
    bool force;
    std::string link;  // under the prefix, made to lead to the folder
    std::string kept;  // under the prefix: what --remove leaves there
  } cases[] = {
      {"a start folder", "C:\\ZINDO", nullptr, false, "drive_c/zindo", ""},
      {"one deeper, on drive D:", "d:\\apps\\shop", nullptr, false,
       "drive_d/apps/shop", ""},
      {"a drive's root", "E:\\", nullptr, false, "dosdevices/e:", ""},
      {"no start folder", "", nullptr, false, "dosdevices/d:", ""},
      {"a name in another case", "C:\\ZINDO",
       [](const fs::path& p) {
         fs::create_directories(p / "drive_c");
         fs::create_symlink("/nowhere", p / "drive_c/Zindo");
       },
       true, "drive_c/Zindo", ""},
      {"a link of the user's", "C:\\ZINDO",
       [](const fs::path& p) {
         fs::create_directories(p / "drive_c");
         fs::create_symlink("/nowhere", p / "drive_c/zindo");
       },
       false, "", "drive_c/zindo"},
      {"a folder of the user's", "C:\\ZINDO",
       [](const fs::path& p) { fs::create_directories(p / "drive_c/zindo"); },
       false, "", "drive_c/zindo"},
      {"a folder of the user's, set aside with --force", "C:\\ZINDO",
       [](const fs::path& p) {
         fs::create_directories(p / "drive_c/zindo");
         fs::create_directories(p / "drive_c/zindo.old");
       },
       true, "drive_c/zindo", "drive_c/zindo"},
      {"the PIF's drive on Z:", "Z:\\ZINDO", nullptr, true, "", ""},
      {"no DOS program", "-", nullptr, false, "", ""},
  };
  for (const auto& c : cases) {
    fs::remove_all(prefix);
    // Any name: what zindo-setup made is listed one to a line.
    const fs::path folder = root_ / "Zindo Office \u00e9t\u00e9 \\ a\tb\nc";
    fs::remove_all(folder);
    fs::create_directories(folder);
    if (c.start != "-") {
      std::ofstream(folder / "AUTOEXEC.PIF")
          << BuildProgramInformation({"ZINDO.EXE", c.start, ""});
    }
    fs::create_directories(prefix);
    if (c.before) c.before(prefix);
    const std::vector<Finding> said =
        MapCompanionFolder(prefix, folder.string(), c.force);
    const bool problem = std::any_of(said.begin(), said.end(), [](auto& f) {
      return f.verdict == Finding::Verdict::kBlocking;
    });
    EXPECT_EQ(problem, c.link.empty() && c.start != "-") << c.name;
    std::error_code none;
    if (!c.link.empty()) {
      EXPECT_EQ(fs::canonical(root_ / "prefix" / c.link, none), folder)
          << c.name;
    }
    // --remove takes away what was made, and only that.
    RemoveCompanionMappings(prefix);
    if (!c.link.empty()) {
      EXPECT_FALSE(fs::is_symlink(root_ / "prefix" / c.link)) << c.name;
    }
    EXPECT_FALSE(fs::exists(MadeListPath(prefix))) << c.name;
    if (!c.kept.empty()) {
      EXPECT_TRUE(fs::exists(fs::symlink_status(root_ / "prefix" / c.kept)))
          << c.name;
    }
  }
}

// Set up again for another folder, zindo-setup moves its own mapping, and
// takes away what the old folder needed and the new one does not.
TEST_F(SetupTest, MovesItsOwnMappingToTheNewFolder) {
  const std::string prefix = Path("prefix");
  const struct {
    std::string folder;
    std::string start;
  } steps[] = {{"a", ""}, {"b", "C:\\ZINDO"}, {"c", "C:\\ZINDO"}};
  for (const auto& step : steps) {
    fs::create_directories(root_ / step.folder);
    std::ofstream(root_ / step.folder / "autoexec.pif")
        << BuildProgramInformation({"ZINDO.EXE", step.start, ""});
    for (const Finding& f :
         MapCompanionFolder(prefix, Path(step.folder), false)) {
      EXPECT_EQ(f.verdict, Finding::Verdict::kGood) << f.text;
    }
  }
  EXPECT_EQ(fs::read_symlink(root_ / "prefix/drive_c/zindo"), Path("c"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "prefix/dosdevices/d:")));
  EXPECT_TRUE(fs::is_directory(root_ / "prefix/drive_c"));
  // Pointed elsewhere by the user, the link is theirs from then on.
  const fs::path link = root_ / "prefix/drive_c/zindo";
  fs::remove(link);
  fs::create_symlink("/nowhere", link);
  const std::vector<Finding> said =
      MapCompanionFolder(prefix, Path("b"), false);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].verdict, Finding::Verdict::kBlocking) << said[0].text;
  RemoveCompanionMappings(prefix);
  EXPECT_EQ(fs::read_symlink(link), "/nowhere");
}

// What the Exec key reserves is quoted, '%' doubled, and the whole escaped
// as any string value is.
TEST(ExecValueTest, QuotesEscapesAndDoublesPercent) {
  const struct {
    std::vector<std::string> words;
    std::string value;
  } cases[] = {
      {{"/usr/bin/zindo-relay"}, "/usr/bin/zindo-relay"},
      {{"env", "ZINDO_PREFIX=/srv/my prefix", "/usr/bin/zindo-relay"},
       "env \"ZINDO_PREFIX=/srv/my prefix\" /usr/bin/zindo-relay"},
      {{"/opt/100%/zindo-relay"}, "/opt/100%%/zindo-relay"},
      {{"/a\"b$c"}, "\"/a\\\\\"b\\\\$c\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExecValue(c.words), c.value);
  EXPECT_EQ(DataHome("", "/home/ana"), "/home/ana/.local/share");
  EXPECT_EQ(DataHome("/xdg", "/home/ana"), "/xdg");
  // A relative value is ignored, as the XDG base directories ask.
  EXPECT_EQ(DataHome("xdg", "/home/ana"), "/home/ana/.local/share");
  EXPECT_EQ(ConfigHome("", "/home/ana"), "/home/ana/.config");
  EXPECT_EQ(ConfigHome("rel", "/home/ana"), "/home/ana/.config");
  EXPECT_EQ(ConfigHome("/cfg", "/home/ana"), "/cfg");
}

}  // namespace
}  // namespace zindo::tools

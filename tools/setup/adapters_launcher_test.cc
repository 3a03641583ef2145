#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "tools/setup/adapters.h"
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

#include "base/dos_path.h"

#include "gtest/gtest.h"

namespace zindo {
namespace {

TEST(DosPathTest, CaseChangesAsciiLettersOnly) {
  EXPECT_EQ(AsciiLowerCase("ZINDOK1.TXT"), "zindok1.txt");
  EXPECT_EQ(AsciiLowerCase("Az@[`{"), "az@[`{");
  EXPECT_EQ(AsciiLowerCase("\xC3\x84Z"), "\xC3\x84z");  // UTF-8 stays as it is.
  EXPECT_EQ(AsciiUpperCase("zindok1.txt \xF9\xEC\xE5\xED"),
            "ZINDOK1.TXT \xF9\xEC\xE5\xED");  // So does Hebrew in code page.
  EXPECT_TRUE(EndsWithAnyCase("c:\\zindo\\Start.Bat", ".BAT"));
  EXPECT_FALSE(EndsWithAnyCase("BAT", ".BAT"));
  EXPECT_FALSE(EndsWithAnyCase("START.BA\xD4", ".BAT"));
}

TEST(DosPathTest, TrimsBlanksAtTheEndsOnly) {
  EXPECT_EQ(Trimmed(" \tserial1 = nullmodem\r\n"), "serial1 = nullmodem");
  EXPECT_EQ(Trimmed(" \t\r\n"), "");
  EXPECT_EQ(Trimmed("x"), "x");
}

TEST(DosPathTest, SplitsDrivesAndNames) {
  struct Case {
    const char* path;
    char drive;
    bool from_root;
    std::vector<std::string> names;
    bool plain;  // a name alone, in the working directory
  };
  const Case cases[] = {
      {"ZINDOK1.TXT", 0, false, {"ZINDOK1.TXT"}, true},
      {"c:\\zindo\\.\\LOCAL6.DAT", 'C', true, {"zindo", "LOCAL6.DAT"}, false},
      {"D:ZINDOK1.TXT", 'D', false, {"ZINDOK1.TXT"}, false},
      {"z:", 'Z', false, {}, false},
      {"\\zindo//sub/", 0, true, {"zindo", "sub"}, false},
      {"sub/ZINDOK1.TXT", 0, false, {"sub", "ZINDOK1.TXT"}, false},
      {"..\\b", 0, false, {"..", "b"}, false},
      {"1:\\x", 0, false, {"1:", "x"}, false},
      {"\xE0:x", 0, false, {"\xE0:x"}, false},
  };
  for (const Case& c : cases) {
    const DosPathParts parts = SplitDosPath(c.path);
    EXPECT_EQ(parts.drive, c.drive) << c.path;
    EXPECT_EQ(DriveLetterOf(c.path), c.drive) << c.path;
    EXPECT_EQ(parts.from_root, c.from_root) << c.path;
    EXPECT_EQ(parts.names, c.names) << c.path;
    EXPECT_EQ(IsPlainDosName(c.path), c.plain) << c.path;
  }
}

// What a folder path from the environment starts at: only a drive's root
// or a share counts as absolute.
TEST(DosPathTest, WindowsRootsAreADriveOrAShare) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"C:\\Users\\ana", 3},
      {"c:/x", 3},
      {"\\\\server\\share\\Local", 15},
      {"\\\\server\\share", 14},
      {"\\\\?\\C:\\x", 7},
      {"\\\\?\\UNC\\server\\share\\x", 21},
      {"\\\\server", 0},
      {"\\\\\\share", 0},
      {"C:Local", 0},
      {"\\Users", 0},
      {"AppData\\Local", 0},
      {"", 0},
  };
  for (const auto& [path, root] : cases) {
    EXPECT_EQ(WindowsPathRootLength(path), root) << path;
  }
}

TEST(DosPathTest, ShortNamesAreEightDotThree) {
  const std::pair<const char*, bool> cases[] = {
      {"LOCAL6.DAT", true}, {"ABCDEFGH.ABC", true}, {"ZINDO", true},
      {"ABCDEFGHI", false}, {"A.ABCD", false},      {".DAT", false},
      {"A.B.C", false},     {"MY FILE", false},     {"", false},
  };
  for (const auto& [name, is_short] : cases) {
    EXPECT_EQ(IsShortDosName(name), is_short) << name;
  }
}

// One, two and three bytes of UTF-8; ASCII as it stands.
TEST(DosPathTest, CodePage437BecomesUtf8) {
  EXPECT_EQ(FromCodePage437("C:\\CAF\x90"), "C:\\CAF\u00C9");
  EXPECT_EQ(FromCodePage437("\x80\xE1\xB0\xFF"), "\u00C7\u00DF\u2591\u00A0");
}

TEST(DosPathTest, ComPortNumbersAreOneTo255) {
  const std::pair<const char*, int> cases[] = {
      {"1", 1},     {"COM1", 1},    {"com2", 2},  {"Com255", 255},
      {"255", 255}, {"256", 0},     {"COM0", 0},  {"0", 0},
      {"COM01", 0}, {"07", 0},      {"COM", 0},   {"", 0},
      {"COM1 ", 0}, {"LPT1", 0},    {"COM-1", 0}, {"COM1000", 0},
      {"x3", 0},    {"COMCOM1", 0},
  };
  for (const auto& [name, number] : cases) {
    EXPECT_EQ(ComPortNumber(name), number) << name;
  }
}

}  // namespace
}  // namespace zindo

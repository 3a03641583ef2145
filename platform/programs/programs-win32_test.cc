#include "platform/programs/programs-win32.h"

#include <filesystem>
#include <string>

#include "gtest/gtest.h"
#include "platform/system/process-win32.h"
#include "platform/testing/testing-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

using win32_test::TemporaryDirectory;
using win32_test::WriteNativeFile;

// Sets an environment variable for one test and puts it back afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::string& value)
      : name_(name), old_(EnvironmentVariable(name)) {
    ::SetEnvironmentVariableW(name, ToUtf16(value).c_str());
  }
  ~ScopedVariable() {
    ::SetEnvironmentVariableW(name_,
                              old_.empty() ? nullptr : ToUtf16(old_).c_str());
  }

 private:
  const wchar_t* name_;
  std::string old_;
};

constexpr wchar_t kDosboxAppPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dosbox.exe";

TEST(Win32ProgramsTest, FindsDosboxWhereItsUsersInstallIt) {
  TemporaryDirectory root;
  const std::string programs = root / "Program Files", x86 = root / "P (x86)",
                    path = root / "bin";
  for (const std::string& folder :
       {programs, x86, x86 + "\\DOSBox-0.74", x86 + "\\DOSBox-0.74-3", path}) {
    std::filesystem::create_directories(ToUtf16(folder));
  }
  ScopedVariable w6432(L"ProgramW6432", programs);
  ScopedVariable files(L"ProgramFiles", programs);
  ScopedVariable files_x86(L"ProgramFiles(x86)", x86);
  ScopedVariable search_path(L"PATH", "relative;\"" + path + "\"");
  Win32Programs finder;

  Programs::Search none = finder.Find("dosbox");
  EXPECT_EQ(none.path, "");
  EXPECT_EQ(none.places,
            "for dosbox.exe in App Paths, in " + programs + "\\dosbox*, in " +
                x86 + "\\dosbox* and on PATH (relative;\"" + path + "\")");
  // As App Paths registers it; else in the installer's folder, the newest
  // version; else on PATH.
  const std::string registered = root / "Registered DOSBox.exe",
                    installed = x86 + "\\DOSBox-0.74-3\\dosbox.exe",
                    older = x86 + "\\DOSBox-0.74\\dosbox.exe",
                    on_path = path + "\\dosbox.exe";
  for (const std::string& program : {registered, older, installed, on_path}) {
    WriteNativeFile(program, "MZ");
  }
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kDosboxAppPath, nullptr,
                              REG_SZ, ToUtf16(registered).c_str(),
                              (registered.size() + 1) * sizeof(wchar_t)),
            ERROR_SUCCESS);
  EXPECT_EQ(finder.Find("dosbox").path, registered);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kDosboxAppPath);
  EXPECT_EQ(finder.Find("dosbox").path, installed);
  std::filesystem::remove(ToUtf16(installed));
  EXPECT_EQ(finder.Find("dosbox").path, older);
  std::filesystem::remove(ToUtf16(older));
  EXPECT_EQ(finder.Find("dosbox").path, on_path);
}

// Looked for beside this test program, as beside the relay: in its own
// folder first, then one up; a folder of a name no one else uses.
TEST(Win32ProgramsTest, FindsWhatCameWithTheRelayBesideItOrOneUp) {
  wchar_t own[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  const std::filesystem::path own_folder =
      std::filesystem::path(own).parent_path();
  const std::string folder =
      "zindo-brought-" + std::to_string(::GetCurrentProcessId());
  const std::filesystem::path beside = own_folder / ToUtf16(folder),
                              one_up =
                                  own_folder.parent_path() / ToUtf16(folder);
  const std::string beside_exe = ToUtf8((beside / L"tool.exe").wstring()),
                    one_up_exe = ToUtf8((one_up / L"tool.exe").wstring());
  Win32Programs finder;
  for (const auto& made : {beside, one_up}) {
    std::filesystem::create_directories(made);
    WriteNativeFile(ToUtf8((made / L"tool.exe").wstring()), "MZ");
  }
  EXPECT_EQ(finder.FindBesideRelay(folder, "tool").path, beside_exe);
  std::filesystem::remove_all(beside);
  EXPECT_EQ(finder.FindBesideRelay(folder, "tool").path, one_up_exe);
  std::filesystem::remove_all(one_up);
  const Programs::Search none = finder.FindBesideRelay(folder, "tool");
  EXPECT_EQ(none.path, "");
  EXPECT_EQ(none.places, "for " + beside_exe + " and " + one_up_exe);
}

// An installer's registry record wins, then its folders in Program Files
// and at the system drive's root.
TEST(Win32ProgramsTest, FindsWhatInstallersRecord) {
  TemporaryDirectory root;
  const std::string programs = root / "Program Files", drive = root / "C",
                    chosen = root / "Games\\X";
  for (const std::string& folder :
       {programs + "\\Emu Two", drive + "\\Emu-One", chosen}) {
    std::filesystem::create_directories(ToUtf16(folder));
  }
  ScopedVariable w6432(L"ProgramW6432", programs);
  ScopedVariable files(L"ProgramFiles", programs);
  ScopedVariable files_x86(L"ProgramFiles(x86)", "");
  ScopedVariable system_drive(L"SystemDrive", drive);
  Win32Programs finder;
  constexpr wchar_t kKey[] = L"Software\\zindo-relay-test-emu";
  const Programs::Installed emu = {
      "emu",
      {"Emu-One", "Emu Two"},
      {{"Software\\zindo-relay-test-emu", "Path"}}};

  Programs::Search none = finder.FindInstalled(emu);
  EXPECT_EQ(none.path, "");
  EXPECT_EQ(
      none.places,
      "for emu.exe where Software\\zindo-relay-test-emu (Path) points, in " +
          programs + "\\Emu-One, in " + drive + "\\Emu-One, in " + programs +
          "\\Emu Two, in " + drive + "\\Emu Two");
  const std::string at_root = drive + "\\Emu-One\\emu.exe",
                    in_programs = programs + "\\Emu Two\\emu.exe",
                    registered = chosen + "\\emu.exe";
  for (const std::string& program : {at_root, in_programs, registered}) {
    WriteNativeFile(program, "MZ");
  }
  EXPECT_EQ(finder.FindInstalled(emu).path, at_root);
  const std::wstring folder = ToUtf16(chosen);
  ASSERT_EQ(
      ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Path", REG_SZ,
                        folder.c_str(), (folder.size() + 1) * sizeof(wchar_t)),
      ERROR_SUCCESS);
  EXPECT_EQ(finder.FindInstalled(emu).path, registered);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

}  // namespace
}  // namespace zindo

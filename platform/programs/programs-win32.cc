#include "platform/programs/programs-win32.h"

#include <algorithm>
#include <functional>

#include "platform/system/process-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

constexpr wchar_t kAppPaths[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Unquoted(std::wstring text) {
  std::erase(text, L'"');
  return text;
}

// Only a drive's root ("C:\") or a network share ("\\server") anchors a
// path; anything else depends on the current directory.
bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' &&
          (path[2] == L'\\' || path[2] == L'/')) ||
         path.starts_with(L"\\\\");
}

// The first string value `value` (the default value when "") of `key`, under
// HKCU then HKLM and in both registry views (a 32-bit installer writes to
// its own), that `accept` turns into a path; "" when none does.
std::wstring FirstRegisteredPath(
    const std::wstring& key, const std::wstring& value,
    const std::function<std::wstring(const std::wstring&)>& accept) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      wchar_t text[MAX_PATH * 2];
      DWORD size = sizeof text;
      HKEY opened;
      if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view,
                          &opened) != ERROR_SUCCESS) {
        continue;
      }
      // REG_EXPAND_SZ values are expanded and read as REG_SZ.
      const LSTATUS read = ::RegGetValueW(
          opened, nullptr, value.empty() ? nullptr : value.c_str(),
          RRF_RT_REG_SZ, nullptr, text, &size);
      ::RegCloseKey(opened);
      if (read != ERROR_SUCCESS) continue;
      if (std::wstring path = accept(Unquoted(text)); !path.empty()) {
        return path;
      }
    }
  }
  return L"";
}

// The default value of App Paths\`program`, where installers register a
// program that is not on PATH.
std::wstring FromAppPaths(const std::wstring& program) {
  return FirstRegisteredPath(
      kAppPaths + program, L"",
      [](const std::wstring& path) { return IsFile(path) ? path : L""; });
}

// The string value `value` of `key` that names a folder holding `program`:
// that program's path.
std::wstring FromRegisteredFolder(const std::wstring& key,
                                  const std::wstring& value,
                                  const std::wstring& program) {
  return FirstRegisteredPath(key, value, [&](std::wstring folder) {
    if (!folder.empty() && !folder.ends_with(L'\\')) folder += L'\\';
    return IsFile(folder + program) ? folder + program : L"";
  });
}

// The Program Files folders of this Windows, each once: a 32-bit relay on
// 64-bit Windows sees the 64-bit one only as ProgramW6432.
std::vector<std::wstring> ProgramFolders() {
  std::vector<std::wstring> folders;
  for (const wchar_t* name :
       {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)"}) {
    std::wstring folder = ToUtf16(EnvironmentVariable(name));
    if (folder.empty()) continue;
    if (std::none_of(
            folders.begin(), folders.end(),
            [&](const std::wstring& f) { return SameName(f, folder); }))
      folders.push_back(folder);
  }
  return folders;
}

// `program` in a folder `stem`* of `folder`, as an installer names it after
// its version ("DOSBox-0.74-3"): the last such folder by name, which is
// most often the newest version.
std::wstring InInstallerFolder(const std::wstring& folder,
                               const std::wstring& stem,
                               const std::wstring& program) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileExW(
      (folder + L"\\" + stem + L"*").c_str(), FindExInfoBasic, &found,
      FindExSearchLimitToDirectories, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return L"";
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      names.push_back(found.cFileName);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(names.rbegin(), names.rend());
  for (const std::wstring& name : names) {
    std::wstring path = folder + L"\\" + name + L"\\" + program;
    if (IsFile(path)) return path;
  }
  return L"";
}

// `program` in the first absolute directory of PATH that holds it.
std::wstring OnPath(const std::wstring& search_path,
                    const std::wstring& program) {
  std::size_t start = 0;
  while (start <= search_path.size()) {
    std::size_t end =
        std::min(search_path.find(L';', start), search_path.size());
    std::wstring directory = Unquoted(search_path.substr(start, end - start));
    start = end + 1;
    if (!IsAbsolute(directory)) continue;
    if (!directory.ends_with(L'\\')) directory += L'\\';
    if (IsFile(directory + program)) return directory + program;
  }
  return L"";
}

// The path of the relay's own program file.
std::wstring OwnProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(),
                                              static_cast<DWORD>(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);
  }
}

// The folder that holds `path`, "" when it holds none (a drive's root).
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos || last < 3) return L"";
  std::wstring folder = path.substr(0, last);
  // A network server ("\\\\server") holds shares, not folders.
  if (folder.starts_with(L"\\\\") &&
      folder.find(L'\\', 2) == std::wstring::npos)
    return L"";
  return folder;
}

}  // namespace

bool HasDosSubsystem() {
  SYSTEM_INFO native;
  ::GetNativeSystemInfo(&native);
  if (native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL) {
    return false;
  }
  // An x86 relay emulated on another processor.
  BOOL emulated = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &emulated) && emulated) {
    return false;
  }
  // NTVDM is an optional feature of 32-bit Windows 10, off by default.
  wchar_t system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  return length > 0 && length < MAX_PATH &&
         IsFile(std::wstring(system) + L"\\ntvdm.exe");
}

Programs::Search Win32Programs::Find(const std::string& name) {
  const std::wstring program = ToUtf16(name) + L".exe";
  std::wstring found = FromAppPaths(program);
  std::string places = "for " + name + ".exe in App Paths";
  for (const std::wstring& folder : ProgramFolders()) {
    if (found.empty())
      found = InInstallerFolder(folder, ToUtf16(name), program);
    places += ", in " + ToUtf8(folder) + "\\" + name + "*";
  }
  const std::string search_path = EnvironmentVariable(L"PATH");
  if (found.empty()) found = OnPath(ToUtf16(search_path), program);
  places += " and on PATH (" + search_path + ")";
  return {ToUtf8(found), places};
}

// The zip has a folder for each relay and the programs they share beside
// them; the installer puts the relay and the programs it brings in one
// folder.
Programs::Search Win32Programs::FindBesideRelay(const std::string& folder,
                                                const std::string& name) {
  const std::wstring relay_folder = FolderOf(OwnProgramPath());
  const std::wstring tail =
      L"\\" + ToUtf16(folder) + L"\\" + ToUtf16(name) + L".exe";
  std::wstring found;
  std::string places;
  for (const std::wstring& base : {relay_folder, FolderOf(relay_folder)}) {
    if (base.empty()) continue;
    if (found.empty() && IsFile(base + tail)) found = base + tail;
    places += (places.empty() ? "for " : " and ") + ToUtf8(base + tail);
  }
  return {ToUtf8(found), places};
}

// Registry values first, since they name the folder the user chose; then
// the installers' own folders, in each Program Files folder and at the
// system drive's root.
Programs::Search Win32Programs::FindInstalled(const Installed& installed) {
  const std::wstring program = ToUtf16(installed.name) + L".exe";
  std::wstring found;
  std::string places = "for " + installed.name + ".exe";
  for (const RegistryValue& registered : installed.registered) {
    if (found.empty()) {
      found = FromRegisteredFolder(ToUtf16(registered.key),
                                   ToUtf16(registered.value), program);
    }
    places +=
        " where " + registered.key + " (" + registered.value + ") points,";
  }
  std::vector<std::wstring> roots = ProgramFolders();
  const std::string system_drive = EnvironmentVariable(L"SystemDrive");
  if (!system_drive.empty()) roots.push_back(ToUtf16(system_drive));
  for (const std::string& folder : installed.folders) {
    for (const std::wstring& root : roots) {
      const std::wstring path =
          root + L"\\" + ToUtf16(folder) + L"\\" + program;
      if (found.empty() && IsFile(path)) found = path;
      places += " in " + ToUtf8(root) + "\\" + folder + ",";
    }
  }
  if (!places.empty() && places.back() == ',') places.pop_back();
  return {ToUtf8(found), places};
}

}  // namespace zindo

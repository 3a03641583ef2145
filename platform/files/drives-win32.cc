#include "platform/files/drives-win32.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/dos_path.h"
#include "base/error.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// Opened for its attributes only, which any directory allows, and without
// keeping anyone else from it.
UniqueHandle OpenDirectory(const std::wstring& path) {
  return UniqueHandle(::CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The path of the open `directory` with its long names, the case they are
// stored in and the drive that holds it ("\\?\C:\..." or
// "\\?\UNC\server\share\..."); "" when the file system cannot say.
std::wstring FinalPath(HANDLE directory) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = ::GetFinalPathNameByHandleW(
        directory, path.data(), static_cast<DWORD>(path.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0) return L"";
    if (size < path.size()) return path.substr(0, size);
    path.resize(size);
  }
}

// `path` as the drives' directories are compared: no "\\?\" prefix, '/'
// between the names, and no '/' at the end but a drive's root's.
std::string Comparable(std::wstring path) {
  if (path.starts_with(LR"(\\?\UNC\)")) {
    path = LR"(\\)" + path.substr(8);
  } else if (path.starts_with(LR"(\\?\)")) {
    path = path.substr(4);
  }
  std::replace(path.begin(), path.end(), L'\\', L'/');
  if (path.size() > 3 && path.ends_with(L'/')) path.pop_back();
  return ToUtf8(path);
}

// What the standard library makes of `native_path`, for a file system that
// cannot give the final path: links followed, but names as spelled.
std::string Canonical(const std::string& native_path) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::canonical(ToUtf16(native_path), error);
  if (error) {
    throw Error("find the directory " + native_path + ": " + error.message());
  }
  return Comparable(resolved.wstring());
}

}  // namespace

// Its drive letter as the drives are named: a shortcut may start the relay
// in "c:\zindo".
std::string Win32Drives::WorkingDirectory() {
  std::string directory = files_.working_directory();
  if (const char drive = DriveLetterOf(directory)) directory[0] = drive;
  return directory;
}

// A drive letter with no root directory (not a drive) is left out.
std::map<char, Drives::Drive> Win32Drives::MappedDrives() {
  std::map<char, Drive> drives;
  const DWORD present = ::GetLogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if ((present & (1u << (letter - 'A'))) == 0) continue;
    const std::string root = std::string(1, letter) + ":\\";
    const UINT type = ::GetDriveTypeW(ToUtf16(root).c_str());
    if (type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_RAMDISK) {
      drives[letter] = {root, /*removable=*/false};
    } else if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM) {
      drives[letter] = {root, /*removable=*/true};
    }
  }
  return drives;
}

std::string Win32Drives::ResolvedDirectory(const std::string& native_path) {
  const UniqueHandle directory = OpenDirectory(ToUtf16(native_path));
  if (!directory.valid()) {
    throw LastWin32Error("find the directory " + native_path);
  }
  const std::wstring final_path = FinalPath(directory.get());
  if (final_path.empty()) return Canonical(native_path);
  return Comparable(final_path);
}

// FindFirstFileW matches a short name too; what it found is taken only
// when its own name is the one asked for.
std::string Win32Drives::ResolvedAsListed(const std::string& root,
                                          const std::string& names) {
  std::wstring path = ToUtf16(root);
  std::wstring rest = ToUtf16(names);
  std::replace(rest.begin(), rest.end(), L'/', L'\\');
  const std::string what = "find the directory " +
                           ToUtf8(path.ends_with(L'\\') || path.ends_with(L'/')
                                      ? path + rest
                                      : path + L"\\" + rest);
  std::size_t start = 0;
  while (start < rest.size()) {
    const std::size_t end = std::min(rest.find(L'\\', start), rest.size());
    const std::wstring name = rest.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    if (!path.ends_with(L'\\') && !path.ends_with(L'/')) path += L'\\';
    // A wildcard would match some other name.
    if (name.find_first_of(L"*?") != std::wstring::npos) {
      throw Win32Error(what, ERROR_FILE_NOT_FOUND);
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((path + name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) throw LastWin32Error(what);
    ::FindClose(search);
    if (!SameName(found.cFileName, name)) {
      throw Error(what + ": \"" + ToUtf8(name) +
                      "\" is only the system's short name of \"" +
                      ToUtf8(found.cFileName) + "\"",
                  ErrorKind::kNotFound);
    }
    path += found.cFileName;
  }
  return ResolvedDirectory(ToUtf8(path));
}

std::string Win32Drives::FromDosCodePage(const std::string& dos_text) {
  if (dos_text.empty()) return "";
  const int size =
      ::MultiByteToWideChar(CP_OEMCP, 0, dos_text.data(),
                            static_cast<int>(dos_text.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_OEMCP, 0, dos_text.data(),
                        static_cast<int>(dos_text.size()), text.data(), size);
  return ToUtf8(text);
}

}  // namespace zindo

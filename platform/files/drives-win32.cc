#include "platform/files/drives-win32.h"

#include <filesystem>
#include <system_error>

#include "base/dos_path.h"
#include "base/error.h"
#include "platform/windows-win32.h"

namespace zindo {

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
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::canonical(ToUtf16(native_path), error);
  if (error) {
    const bool missing = error == std::errc::no_such_file_or_directory ||
                         error == std::errc::not_a_directory;
    throw Error("find the directory " + native_path + ": " + error.message(),
                missing ? ErrorKind::kNotFound : ErrorKind::kOther);
  }
  return ToUtf8(resolved.generic_wstring());
}

}  // namespace zindo

#include "platform/programs/launcher-win32.h"

#include <cstring>

#include "platform/programs/programs-win32.h"
#include "platform/windows-win32.h"

namespace zindo {
namespace {

// The shell may hand the file to extensions that need COM on the calling
// thread. Initialising it again is harmless; it stays for the process.
void PrepareShell() {
  static const bool prepared = [] {
    HRESULT result = ::CoInitializeEx(
        nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return SUCCEEDED(result);
  }();
  (void)prepared;
}

// Whether `bytes`, a file's start, is a Windows program: a DOS header whose
// e_lfanew field points at a PE signature.
bool IsWindowsProgram(const std::string& bytes) {
  constexpr std::size_t kNewHeaderField = 0x3C;
  if (!bytes.starts_with("MZ") || bytes.size() < kNewHeaderField + 4) {
    return false;
  }
  std::uint32_t new_header = 0;
  std::memcpy(&new_header, bytes.data() + kNewHeaderField, 4);
  return new_header <= bytes.size() - 4 &&
         bytes.compare(new_header, 4, std::string("PE\0\0", 4)) == 0;
}

}  // namespace

bool Win32Launcher::StartsItself(const std::string& pif_name) {
  // A missing file is for Launch to report.
  if (files_.StoredName(pif_name).empty()) return true;
  if (HasDosSubsystem()) return true;
  try {
    return IsWindowsProgram(files_.OpenForReading(pif_name)->Read(4096));
  } catch (const Error&) {
    return true;  // Launch says why it cannot be read.
  }
}

bool Win32Launcher::RunsDosPrograms() { return HasDosSubsystem(); }

std::string ShellExecuteFailure(INT_PTR result) {
  switch (result) {
    case 0:
      return "the system is out of memory or resources";
    case SE_ERR_SHARE:
      return "a sharing violation occurred";
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return "no program is associated with this kind of file";
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return "the program did not answer the request to open the file";
    case SE_ERR_DLLNOTFOUND:
      return "a library the program needs was not found";
    default:
      // The remaining codes (file not found, access denied, bad format...)
      // are the Win32 errors of the same number.
      return Win32ErrorText(static_cast<DWORD>(result));
  }
}

void Win32Launcher::Launch(const std::string& pif_name) {
  const std::string& directory = files_.working_directory();
  std::string what = "start " + pif_name + " in " + directory;
  // Looked up first, so that a missing file reads as such rather than as
  // whatever the shell makes of it.
  if (files_.StoredName(pif_name).empty()) {
    throw Win32Error(what, ERROR_FILE_NOT_FOUND);
  }
  PrepareShell();
  INT_PTR result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
      nullptr, L"open", ToUtf16(files_.AbsolutePath(pif_name)).c_str(), nullptr,
      ToUtf16(directory).c_str(), SW_SHOWNORMAL));
  if (result <= 32) throw Error(what + ": " + ShellExecuteFailure(result));
}

}  // namespace zindo

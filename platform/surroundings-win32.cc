#include "platform/surroundings-win32.h"

#include "platform/windows-win32.h"

namespace zindo {

using Verdict = Finding::Verdict;

Finding Win32Surroundings::Prefix() {
  return {Verdict::kGood, "none: drives and COM ports are Windows' own", ""};
}

Finding Win32Surroundings::WorkingDirectory() {
  const DWORD attributes =
      ::GetFileAttributesW(ToUtf16(working_directory_).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return {Verdict::kBlocking, working_directory_ + ": read-only",
            "clear the folder's read-only attribute in its properties"};
  }
  return {Verdict::kGood, working_directory_, ""};
}

std::string Win32Surroundings::NativePath(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToUtf16(path).c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ? "" : path;
}

// The port is looked up, never opened: an open would take it from a relay
// that holds it, or be refused.
Finding Win32Surroundings::Device(int port) {
  const std::string com = "COM" + std::to_string(port);
  wchar_t target[512];
  if (::QueryDosDeviceW(ToUtf16(com).c_str(), target, 512) == 0) {
    return {Verdict::kBlocking, com + ": no such port on this PC",
            "plug the adapter in, and set the port Device Manager shows for "
            "it in the companion's settings"};
  }
  return {Verdict::kGood, com + " (" + ToUtf8(target) + ")", ""};
}

Finding Win32Surroundings::Display() {
  return {Verdict::kGood, "the Windows desktop", ""};
}

Finding Win32Surroundings::DirectoryWatching() {
  return {Verdict::kGood, "ReadDirectoryChangesW", ""};
}

}  // namespace zindo

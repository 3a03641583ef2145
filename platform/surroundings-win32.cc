#include "platform/surroundings-win32.h"

#include <optional>

#include "base/error.h"
#include "platform/serial/known_ports.h"
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

// Under Wine a second open of a held port succeeds: there only the relay's
// own open would tell.
Finding Win32Surroundings::Device(int port) {
  const std::string com = "COM" + std::to_string(port);
  if (const std::optional<std::string> server = ports_.ServerOf(port)) {
    return ServerPortFinding(com, "zindo-com" + std::to_string(port) + ".txt",
                             *server);
  }
  try {
    ports_.OpenComPort(port);
  } catch (const Error& failure) {
    if (failure.Is(ErrorKind::kBusy)) {
      return {Verdict::kBlocking, com + ": " + kPortInUse,
              "close the program that holds it; a relay that still runs "
              "ends when its companion quits, or end zindo-relay.exe in "
              "Task Manager"};
    }
    if (failure.Is(ErrorKind::kNotFound)) {
      return {Verdict::kBlocking,
              com + ": " + NoSuchPortText(ports_.KnownPorts()),
              "plug the adapter in, and set the port Device Manager shows for "
              "it in the companion's settings"};
    }
    return {Verdict::kBlocking, failure.what(),
            "look at the port in Device Manager"};
  }
  wchar_t target[512];
  const bool named = ::QueryDosDeviceW(ToUtf16(com).c_str(), target, 512) != 0;
  return {
      Verdict::kGood,
      com + (named ? " (" + ToUtf8(target) + ")" : "") + ": can be opened now",
      ""};
}

Finding Win32Surroundings::Display() {
  return {Verdict::kGood, "the Windows desktop", ""};
}

Finding Win32Surroundings::DirectoryWatching() {
  return {Verdict::kGood, "ReadDirectoryChangesW", ""};
}

}  // namespace zindo

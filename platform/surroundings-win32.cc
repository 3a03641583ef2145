#include "platform/surroundings-win32.h"

#include <aclapi.h>

#include <iterator>
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

namespace {

// What lets a user leave a file in a folder, or replace one there.
constexpr ACCESS_MASK kFolderWriteRights =
    FILE_ADD_FILE | FILE_DELETE_CHILD | GENERIC_WRITE | GENERIC_ALL;

// The groups that stand for other users of the PC, by name.
struct WideGroup {
  WELL_KNOWN_SID_TYPE sid;
  const char* name;
};
constexpr WideGroup kWideGroups[] = {
    {WinWorldSid, "Everyone"},
    {WinBuiltinUsersSid, "Users"},
    {WinAuthenticatedUserSid, "Authenticated Users"},
};

}  // namespace

std::string WideWriters(const ACL* dacl) {
  if (dacl == nullptr) return "Everyone (the folder has no access list)";
  bool writes[std::size(kWideGroups)] = {};
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!::GetAce(const_cast<ACL*>(dacl), i, &entry)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        (allowed->Header.AceFlags & INHERIT_ONLY_ACE) != 0 ||
        (allowed->Mask & kFolderWriteRights) == 0) {
      continue;
    }
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    for (std::size_t group = 0; group < std::size(kWideGroups); ++group) {
      writes[group] |= ::IsWellKnownSid(sid, kWideGroups[group].sid) != 0;
    }
  }
  std::string writers;
  for (std::size_t group = 0; group < std::size(kWideGroups); ++group) {
    if (!writes[group]) continue;
    writers +=
        (writers.empty() ? "" : ", ") + std::string(kWideGroups[group].name);
  }
  return writers;
}

Finding Win32Surroundings::OtherWriters() {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(ToUtf16(working_directory_).c_str(),
                              SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return {Verdict::kGood, "cannot tell who else may write in the folder", ""};
  }
  const std::string writers = WideWriters(dacl);
  ::LocalFree(descriptor);
  return OtherWritersFinding(
      working_directory_, writers,
      "in the folder's Properties, Security, let only this user (and the "
      "administrators) modify it");
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

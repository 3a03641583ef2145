#include "platform/programs/spawn-win32.h"

#include <algorithm>
#include <cwchar>

#include "platform/files/file_system-win32.h"

namespace zindo {
namespace {

// The temporary folder, ending in a backslash, by its short (8.3) name where
// the volume keeps short names: a program that reads its command line in
// the ANSI code page may find no letters there for the user's name.
std::string TemporaryFolder(const std::string& what) {
  wchar_t directory[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, directory);
  if (length == 0 || length > MAX_PATH) throw LastWin32Error(what);
  wchar_t short_name[MAX_PATH + 1];
  const DWORD short_length =
      ::GetShortPathNameW(directory, short_name, MAX_PATH + 1);
  if (short_length == 0 || short_length > MAX_PATH) return ToUtf8(directory);
  return ToUtf8(short_name);
}

// The relay's environment block with `settings` in place of the same
// names (which Windows matches without regard to case).
std::wstring EnvironmentBlockWith(const std::vector<std::string>& settings) {
  std::vector<std::wstring> entries;
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';
       entry += std::wcslen(entry) + 1) {
    entries.emplace_back(entry);
  }
  if (block != nullptr) ::FreeEnvironmentStringsW(block);
  for (const std::string& setting : settings) {
    std::wstring wide = ToUtf16(setting);
    std::wstring name = wide.substr(0, wide.find(L'=') + 1);
    std::erase_if(entries, [&](const std::wstring& entry) {
      return SameName(entry.substr(0, name.size()), name);
    });
    entries.push_back(wide);
  }
  std::wstring environment;
  for (const std::wstring& entry : entries) environment += entry + L'\0';
  return environment + L'\0';
}

std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
    return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are doubled only where a quote follows them.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  return quoted + std::string(backslashes * 2, '\\') + "\"";
}

}  // namespace

std::string CommandLineOf(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += Quoted(argument);
  }
  return line;
}

void Win32Spawner::RemoveHandedFiles() {
  for (const std::string& path : handed_files_) {
    ::DeleteFileW(ToUtf16(path).c_str());
  }
  for (const std::string& folder : handed_folders_) {
    ::RemoveDirectoryW(ToUtf16(folder).c_str());
  }
  handed_files_.clear();
  handed_folders_.clear();
}

int Win32Spawner::StartDetached(const ProgramRun& run) {
  const std::string what = "start " + run.arguments.at(0);
  const bool takes_file = std::find(run.arguments.begin(), run.arguments.end(),
                                    kHandedFile) != run.arguments.end();
  const std::vector<std::string> arguments = ArgumentsWithHandedPaths(
      run, takes_file ? HandOver(run.handed_file, what) : "",
      run.handed_folder.empty() ? "" : HandOverFolder(run.handed_folder, what));
  std::wstring command_line = ToUtf16(CommandLineOf(arguments));
  std::wstring environment = EnvironmentBlockWith(run.settings);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(ToUtf16(arguments[0]).c_str(), command_line.data(),
                        nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP,
                        environment.data(), ToUtf16(run.directory).c_str(),
                        &startup, &started)) {
    throw LastWin32Error(what);
  }
  ::CloseHandle(started.hThread);
  const int process_id = static_cast<int>(started.dwProcessId);
  processes_[process_id] = UniqueHandle(started.hProcess);
  return process_id;
}

// A new name in the temporary folder for the next thing handed over.
std::string Win32Spawner::HandedPath(const std::string& what,
                                     const std::string& suffix) {
  return TemporaryFolder(what) + "zindo-relay-" +
         std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(handed_files_.size() + handed_folders_.size()) + suffix;
}

std::string Win32Spawner::HandOver(const std::string& text,
                                   const std::string& what) {
  const std::string path = HandedPath(what, ".conf");
  Win32FileSystem(TemporaryFolder(what)).WriteFile(path, text);
  handed_files_.push_back(path);
  return path;
}

std::string Win32Spawner::HandOverFolder(
    const std::map<std::string, std::string>& files, const std::string& what) {
  const std::string folder = HandedPath(what, "");
  if (!::CreateDirectoryW(ToUtf16(folder).c_str(), nullptr)) {
    throw LastWin32Error(what + ": make the folder " + folder);
  }
  handed_folders_.push_back(folder);
  for (const auto& [name, bytes] : files) {
    const std::string path = folder + "\\" + name;
    Win32FileSystem(folder).WriteFile(path, bytes);
    handed_files_.push_back(path);
  }
  return folder;
}

bool Win32Spawner::IsRunning(int process_id) {
  auto started = processes_.find(process_id);
  if (started != processes_.end()) {
    // Wine starts a Linux program without a handle to it: taken to run, so
    // that what cannot be done with it is said rather than passed over.
    return !started->second.valid() ||
           ::WaitForSingleObject(started->second.get(), 0) == WAIT_TIMEOUT;
  }
  UniqueHandle process(
      ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process_id)));
  return process.valid() &&
         ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace zindo

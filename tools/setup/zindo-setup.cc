// zindo-setup: the relay's set-up on Linux in one command. It lists the
// serial adapters by their stable names, maps a port to one, says whether
// this user may open it, makes the prefix reach a DOS companion's folder,
// writes a desktop launcher that starts the relay in the companion's
// folder (and, when asked, an autostart entry that starts it there at
// login), and checks that folder as the relay would.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <variant>

#include "base/dos_path.h"
#include "base/error.h"
#include "exchange/config_file.h"
#include "platform/files/file_system-posix.h"
#include "platform/platform-posix.h"
#include "platform/programs/program_arguments-posix.h"
#include "platform/programs/spawn-posix.h"
#include "platform/surroundings-posix.h"
#include "platform/system/process-posix.h"
#include "tools/setup/adapters.h"
#include "tools/setup/companion_drives.h"
#include "tools/setup/launcher.h"
#include "tools/setup/resources.h"
#include "tools/tool_support.h"

namespace {

namespace fs = std::filesystem;
using namespace zindo::tools;

constexpr char kProgram[] = "zindo-setup";

constexpr char kHelp[] =
    "usage: zindo-setup [--list] [--map N ADAPTER]\n"
    "                   [--desktop FOLDER [--autostart]]\n"
    "                   [--check [FOLDER]] [--remove] [--force]\n"
    "\n"
    "Sets zindo-relay up for this user; never needs root. Without options,\n"
    "on a terminal, it asks step by step; otherwise it lists.\n"
    "\n"
    "  --list            the serial adapters by their stable names (in\n"
    "                    /dev/serial/by-id), the ports already mapped, and\n"
    "                    whether you may open each\n"
    "  --map N ADAPTER   maps port N (COMN) to ADAPTER: its stable name, or\n"
    "                    the ttyUSB or ttyACM it is now\n"
    "  --desktop FOLDER  writes a menu launcher, and its icon, that starts\n"
    "                    the relay in FOLDER, the companion's; for a DOS\n"
    "                    companion, maps FOLDER to its PIF's start folder\n"
    "                    (C:\\ZINDO), or to a drive of its own when the PIF\n"
    "                    names none; then checks it\n"
    "  --autostart       with --desktop: also starts the relay in FOLDER\n"
    "                    when you log in (an XDG autostart entry); without\n"
    "                    it, --desktop removes that entry\n"
    "  --check           what the relay would do in FOLDER (or here), as\n"
    "                    zindo-relay --check says it\n"
    "  --remove          removes the launcher, its icon, the autostart\n"
    "                    entry and the drives zindo-setup mapped\n"
    "  --force           replaces a port's link, a launcher for another\n"
    "                    folder, or a drive's link, that is in the way\n"
    "\n"
    "Environment: ZINDO_PREFIX (default ~/.zindo), XDG_DATA_HOME (default\n"
    "~/.local/share), XDG_CONFIG_HOME (default ~/.config);\n"
    "ZINDO_SERIAL_BY_ID stands in for /dev/serial/by-id.\n"
    "Exit status: 0 when all is set up, 1 when something is not (each\n"
    "problem is followed by what to do), 2 for a wrong command line.\n";

constexpr zindo::KnownOption kOptions[] = {
    {"--list"},
    {"--map", 0, zindo::OptionValue::kRequired},
    {"--desktop", 0, zindo::OptionValue::kRequired},
    {"--autostart"},
    {"--check"},
    {"--remove"},
    {"--force"}};

struct Options {
  bool list = false;
  std::optional<int> map_port;
  std::string adapter;
  std::optional<std::string> desktop_folder;
  bool autostart = false;
  bool check = false;
  std::optional<std::string> check_folder;
  bool remove = false;
  bool force = false;
};

int PortNumberOption(const std::string& text) {
  const int number = zindo::ComPortNumber(text);
  if (number == 0) {
    throw zindo::CommandLineError(
        "a port number is 1 to 255 (COM1 to COM255), not " + text);
  }
  return number;
}

const std::string* Value(const zindo::CommandLine& line,
                         std::string_view name) {
  for (const auto& option : line.options) {
    if (option.name == name) return &*option.value;
  }
  return nullptr;
}

Options ReadOptions(const zindo::CommandLine& line) {
  Options options;
  options.list = line.Has("--list");
  options.check = line.Has("--check");
  options.remove = line.Has("--remove");
  options.force = line.Has("--force");
  options.autostart = line.Has("--autostart");
  if (const std::string* folder = Value(line, "--desktop")) {
    options.desktop_folder = *folder;
  }
  std::vector<std::string> operands = line.operands;
  if (const std::string* port = Value(line, "--map")) {
    options.map_port = PortNumberOption(*port);
    if (operands.empty()) {
      throw zindo::CommandLineError("--map needs the adapter after the port");
    }
    options.adapter = operands.front();
    operands.erase(operands.begin());
  }
  if (options.check && !operands.empty()) {
    options.check_folder = operands.front();
    operands.erase(operands.begin());
  }
  if (!operands.empty()) {
    throw zindo::CommandLineError("unexpected argument " + operands.front());
  }
  if (options.remove && options.desktop_folder) {
    throw zindo::CommandLineError("--remove and --desktop do opposite things");
  }
  if (options.autostart && !options.desktop_folder) {
    throw zindo::CommandLineError(
        "--autostart needs --desktop FOLDER, the folder to start in");
  }
  return options;
}

// What --desktop, or the interview, may do beside writing the launcher.
struct DesktopChoices {
  // A launcher for another folder.
  bool replace_launcher = false;
  // What stands in the prefix where the companion's folder is to be
  // reached, and zindo-setup did not put there.
  bool replace_mappings = false;
  // Else the login start is taken away.
  bool autostart = false;
};

// Where this user's relay finds its ports, adapters and menu.
struct Places {
  zindo::PrefixOrigin prefix;
  std::string stable_names;
  std::string data_home;
  std::string config_home;
};

Places FindPlaces() {
  Places places{zindo::PrefixOriginFromEnvironment(),
                zindo::EnvironmentVariable("ZINDO_SERIAL_BY_ID"),
                DataHome(zindo::EnvironmentVariable("XDG_DATA_HOME"),
                         zindo::EnvironmentVariable("HOME")),
                ConfigHome(zindo::EnvironmentVariable("XDG_CONFIG_HOME"),
                           zindo::EnvironmentVariable("HOME"))};
  places.prefix.path = fs::absolute(places.prefix.path).lexically_normal();
  if (places.stable_names.empty()) places.stable_names = kStableNames;
  return places;
}

// One line about whether this user may open `device`; false when not.
bool ReportAccess(const std::string& device) {
  const std::string problem = zindo::DeviceAccessProblem(device);
  if (problem.empty()) {
    std::cout << "    you may open it\n";
    return true;
  }
  std::cout << "    you may not open it: " << problem << "\n";
  return false;
}

bool List(const Places& places) {
  const std::vector<Adapter> adapters = ListAdapters(places.stable_names);
  bool all_usable = true;
  std::cout << "Serial adapters (" << places.stable_names << "):\n";
  if (adapters.empty()) std::cout << "  none is plugged in\n";
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    std::cout << "  " << i + 1 << ". "
              << fs::path(adapters[i].stable_path).filename().string() << " -> "
              << adapters[i].device << "\n";
    all_usable = ReportAccess(adapters[i].device) && all_usable;
  }
  std::cout << "Ports mapped in " << places.prefix.path << "/dosdevices:\n";
  const std::vector<MappedPort> ports = ListMappedPorts(places.prefix.path);
  if (ports.empty()) std::cout << "  none\n";
  for (const MappedPort& port : ports) {
    std::cout << "  COM" << port.number << " -> " << port.target
              << (port.device.empty()          ? " (not there now: unplugged?)"
                  : port.device == port.target ? ""
                                               : " (now " + port.device + ")")
              << "\n";
  }
  return all_usable;
}

bool Map(const Places& places, int port, const std::string& name, bool force) {
  const std::vector<Adapter> adapters = ListAdapters(places.stable_names);
  const std::optional<Adapter> adapter = FindAdapter(adapters, name);
  if (!adapter) {
    std::cout << zindo::ReportLines(
        {zindo::Finding::Verdict::kBlocking,
         "no serial adapter " + name + " in " + places.stable_names,
         "plug it in, and name one that zindo-setup --list shows"});
    return false;
  }
  const Mapping mapping =
      MapPort(places.prefix.path, port, adapter->stable_path, force);
  std::cout << "COM" << port << " -> " << adapter->stable_path << " (now "
            << adapter->device << ")"
            << (mapping == Mapping::kAlreadyThere ? ", as it was" : "") << "\n";
  return ReportAccess(adapter->device);
}

// The relay beside this program, which the launcher starts; else the one
// on the PATH.
std::string RelayPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path relay = self.parent_path() / "zindo-relay";
  if (!error && fs::exists(relay)) return relay.string();
  const std::string found =
      zindo::FindProgram("zindo-relay", zindo::EnvironmentVariable("PATH"));
  return found.empty() ? "zindo-relay" : found;
}

// Makes the prefix reach the companion's `folder` as its autoexec.pif
// expects, and says what it did; false when something stands in the way.
bool MapFolder(const Places& places, const std::string& folder, bool force) {
  bool fine = true;
  for (const zindo::Finding& finding :
       MapCompanionFolder(places.prefix.path, folder, force)) {
    std::cout << zindo::ReportLines(
        {finding.verdict, "drive: " + finding.text, finding.fix});
    fine = finding.verdict != zindo::Finding::Verdict::kBlocking && fine;
  }
  return fine;
}

// The login start goes with the launcher: one that was asked for is the
// launcher's twin, and one that was not is taken away, so that the relay
// never starts at login in a folder the menu no longer starts it in.
void SetAutostart(const Places& places, const std::string& entry,
                  bool autostart) {
  const std::string at_login = AutostartPath(places.config_home);
  if (autostart) {
    WriteWhole(at_login, entry);
    std::cout << "autostart: " << at_login << "\n  starts it there at login\n";
    return;
  }
  const std::string old_folder = LauncherFolder(at_login);
  std::error_code error;
  if (!fs::remove(at_login, error)) {
    if (error)
      throw zindo::Error("remove " + at_login + ": " + error.message());
    return;
  }
  std::cout << "autostart: removed " << at_login << "\n  it started the relay"
            << (old_folder.empty() ? "" : " in " + old_folder) << " at login\n";
}

// Writes the menu launcher for `folder_given`, and with `autostart` its
// twin in the autostart folder, so that the relay starts there at login;
// without it, removes that twin. Maps the folder for a DOS companion first.
bool Desktop(const Places& places, const std::string& folder_given,
             const DesktopChoices& choices) {
  std::error_code error;
  const std::string folder = fs::canonical(folder_given, error);
  if (error) {
    throw zindo::Error("the companion's folder " + folder_given + ": " +
                       error.message());
  }
  const std::string launcher = LauncherPath(places.data_home);
  const std::string existing = LauncherFolder(launcher);
  if (!existing.empty() && existing != StringValue(folder) &&
      !choices.replace_launcher) {
    throw zindo::Error(launcher + " already starts the relay in " + existing +
                       "; it is kept (--force replaces it)");
  }
  const bool mapped = MapFolder(places, folder, choices.replace_mappings);
  std::vector<std::string> command = {RelayPath()};
  if (places.prefix.source == "ZINDO_PREFIX") {
    command = {"env", "ZINDO_PREFIX=" + places.prefix.path, command.front()};
  }
  const std::string icon = IconPath(places.data_home);
  WriteWhole(icon, kLauncherIcon);
  const std::string entry =
      DesktopEntry(kLauncherTemplate, command, folder, icon);
  WriteWhole(launcher, entry);
  std::cout << "launcher: " << launcher << "\n  starts " << command.back()
            << " in " << folder << "\n";
  SetAutostart(places, entry, choices.autostart);
  return mapped;
}

bool Remove(const Places& places) {
  for (const std::string& said : RemoveCompanionMappings(places.prefix.path)) {
    std::cout << said << "\n";
  }
  for (const std::string& path :
       {LauncherPath(places.data_home), IconPath(places.data_home),
        AutostartPath(places.config_home)}) {
    std::error_code error;
    const bool removed = fs::remove(path, error);
    if (error) throw zindo::Error("remove " + path + ": " + error.message());
    std::cout << (removed ? "removed " : "not there: ") << path << "\n";
  }
  return true;
}

// What the relay would do in `folder`: zindo-relay --check, run there; with
// `probe`, asking the device too (--probe).
bool Check(const std::string& folder, bool probe = false) {
  std::error_code error;
  const std::string directory = fs::canonical(folder, error);
  if (error) {
    throw zindo::Error("the companion's folder " + folder + ": " +
                       error.message());
  }
  std::cout << "\nWhat the relay would do in " << directory << ":" << std::endl;
  std::vector<std::string> command = {RelayPath(), "--check"};
  if (probe) command.push_back("--probe");
  const pid_t check =
      zindo::Spawn({command, zindo::CurrentEnvironment(), directory});
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(check, &status, 0);
  } while (waited < 0 && errno == EINTR);
  // Without the check's own status there is no telling whether it passed.
  if (waited < 0) {
    const int error_number = errno;
    std::cout << "PROBLEM  the check's result is unknown: waitpid: "
              << std::strerror(error_number) << "\n";
    return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Run(const Options& options, const Places& places) {
  bool fine = true;
  if (options.list) fine = List(places) && fine;
  if (options.map_port) {
    fine =
        Map(places, *options.map_port, options.adapter, options.force) && fine;
  }
  if (options.remove) fine = Remove(places) && fine;
  if (options.desktop_folder) {
    fine = Desktop(places, *options.desktop_folder,
                   {options.force, options.force, options.autostart}) &&
           fine;
  }
  if (options.check || options.desktop_folder) {
    const std::string folder =
        options.check_folder.value_or(options.desktop_folder.value_or("."));
    fine = Check(folder) && fine;
  }
  return fine;
}

// The answer to `question`, or `fallback` for an empty one. Throws when
// standard input ends: the user has gone.
std::string Ask(const std::string& question, const std::string& fallback) {
  std::cout << question << " [" << fallback << "] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    throw zindo::Error("no answer: stopped");
  }
  return answer.empty() ? fallback : answer;
}

bool Yes(const std::string& question, bool fallback) {
  const std::string answer = Ask(question, fallback ? "Y/n" : "y/N");
  if (answer == "Y/n" || answer == "y/N") return fallback;
  return answer.starts_with('y') || answer.starts_with('Y');
}

// The port the configuration shared with the companion names, as the
// relay reads it; 1, the relay's default, when it names none.
int ConfiguredPortNumber(const Places& places) {
  std::error_code ignored;
  zindo::PosixFileSystem files(places.prefix.path,
                               fs::current_path(ignored).string());
  const std::optional<int16_t> number = zindo::ReadConfiguredPort(files).number;
  return number && *number >= 1 && *number <= 255 ? *number : 1;
}

// Asks for an adapter and a port, and maps them.
bool InterviewForPort(const Places& places) {
  const std::vector<Adapter> adapters = ListAdapters(places.stable_names);
  if (adapters.empty()) {
    std::cout << "Plug the adapter in and run zindo-setup again to map it.\n";
    return false;
  }
  const std::string choice = Ask("Which adapter is the device's?", "1");
  const std::size_t index = std::strtoul(choice.c_str(), nullptr, 10);
  if (index < 1 || index > adapters.size()) {
    std::cout << "There is no adapter " << choice << ".\n";
    return false;
  }
  const std::string port =
      Ask("Which port does the companion use (the first field of its "
          "LOCAL6.DAT)?",
          std::to_string(ConfiguredPortNumber(places)));
  const int number = PortNumberOption(port);
  const std::string& adapter = adapters[index - 1].stable_path;
  try {
    return Map(places, number, adapter, false);
  } catch (const zindo::Error& in_the_way) {
    std::cout << in_the_way.what() << "\n";
    return Yes("Replace it?", false) && Map(places, number, adapter, true);
  }
}

// Where the launcher there is starts the relay, when that is not `folder`;
// empty when there is none or it is for `folder` already.
std::string OtherLauncherFolder(const Places& places,
                                const std::string& folder) {
  std::error_code ignored;
  const std::string existing = LauncherFolder(LauncherPath(places.data_home));
  const std::string wanted = StringValue(fs::canonical(folder, ignored));
  return existing == wanted ? "" : existing;
}

bool Interview(const Places& places) {
  const bool lists = List(places);
  bool fine = InterviewForPort(places) && lists;
  std::error_code ignored;
  const std::string folder =
      Ask("The companion's folder (where its autoexec.pif is)?",
          fs::current_path(ignored).string());
  if (Yes("Add a launcher for it to the applications menu?", true)) {
    const std::string other = OtherLauncherFolder(places, folder);
    // Keeping the old launcher is a choice, not a failure: the folder's
    // check still runs and decides the outcome.
    if (!other.empty() && !Yes("Replace the launcher there is?", true)) {
      std::cout << "The launcher is kept: it starts the relay in " << other
                << ".\n";
    } else {
      // Off unless asked for: a relay that starts at every login is a
      // choice the user makes.
      const bool autostart =
          Yes("Start the relay there whenever you log in?", false);
      fine =
          Desktop(places, folder, {!other.empty(), false, autostart}) && fine;
    }
  } else if (OtherLauncherFolder(places, folder).empty()) {
    // The drives follow the folder, unless a launcher for another folder
    // still relies on them.
    std::error_code error;
    const std::string resolved = fs::canonical(folder, error);
    if (!error) fine = MapFolder(places, resolved, false) && fine;
  }
  const bool probe = Yes(
      "After the check, ask the device whether it answers (about 4 s)?", true);
  return Check(folder, probe) && fine;
}

}  // namespace

int main(int argc, char** argv) {
  const auto read =
      ReadCommandLine(argc, argv, kOptions, kProgram, kHelp, ReadOptions);
  if (const int* status = std::get_if<int>(&read)) return *status;
  Options options = std::get<Options>(read);
  if (::geteuid() == 0) {
    std::cerr << kProgram
              << ": running as root sets up root's own relay; "
                 "run it as the user who will use the relay\n";
  }
  try {
    const Places places = FindPlaces();
    const bool nothing_asked = !options.list && !options.map_port &&
                               !options.desktop_folder && !options.check &&
                               !options.remove;
    if (nothing_asked && ::isatty(STDIN_FILENO)) {
      return Interview(places) ? kExitDone : kExitFailed;
    }
    if (nothing_asked) options.list = true;
    return Run(options, places) ? kExitDone : kExitFailed;
  } catch (const std::exception& failure) {
    std::cout.flush();
    std::cerr << kProgram << ": " << failure.what() << "\n";
    return kExitFailed;
  }
}

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/program_name.h"
#include "core/relay.h"
#include "core/start_check.h"
#include "dos/companion.h"
#include "exchange/file_names.h"
#include "platform/platform.h"

namespace {

constexpr int kExitUsage = 2;

constexpr char kHelp[] =
    "usage: zindo-relay [--check [--probe] | --help | --version]\n"
    "\n"
    "Relays between a DOS companion program and a device on a serial line.\n"
    "Start it without arguments in the companion's working directory: it\n"
    "starts the companion (autoexec.pif), sends the requests the companion\n"
    "leaves in ZINDOK1.TXT to the device, writes the replies to zindoK2.txt\n"
    "and its state to zindoK.inf, until the companion asks it to quit.\n"
    "The port is the first field of c:\\zindo\\LOCAL6.DAT.\n"
    "\n"
    "  --check  say what the relay would do here (the prefix, the port and\n"
    "           where its number comes from, the device, the COM ports this\n"
    "           PC has, the companion, its\n"
    "           start folder and DOSBox, the display, the log and its last\n"
    "           failure) and what to do about each problem, without doing\n"
    "           any of it; exit status 0 when it would start\n"
    "  --probe  with --check: then ask the device, as the relay does when it\n"
    "           recovers the line: open the port (never one that another\n"
    "           program holds), send the probe packet, wait 2 s and say\n"
    "           whether it answered, sent an empty frame (its own error\n"
    "           state) or stayed silent; writes no file of the companion's;\n"
    "           exit status 0 only when the device answered too\n"
    "\n"
    "Each failure that ends the relay, and each message it shows, is added\n"
    "with its date and time to zindo-relay.log in $XDG_STATE_HOME/zindo-relay\n"
    "(~/.local/state/zindo-relay) on Linux, %LOCALAPPDATA%\\zindo-relay on\n"
    "Windows; past 1 MiB it is kept as zindo-relay.old.log.\n"
    "\n"
    "Environment (Linux):\n"
    "  ZINDO_PREFIX  the prefix with dosdevices/comN and c: (default "
    "~/.zindo)\n"
    "  ZINDO_TRACE   a file to append one line per event to\n"
    "\n"
    "Exit status: 0 after a quit request, 1 on a failure after start-up,\n"
    "2 when it cannot start: the request file cannot be written, there is\n"
    "no prefix (neither ZINDO_PREFIX nor HOME), or an argument is wrong.\n"
    "\n"
    "See also: README.md (README.txt on Windows). A DOS companion that the\n"
    "system cannot run runs in the first DOSBox found of\n"
    "  1. the one named in dosbox-path.txt (in the companion's folder on\n"
    "     Windows, in the prefix on Linux);\n"
    "  2. the relay's own: DOSBox\\DOSBox.exe beside the relay, or one folder\n"
    "     up, where the Windows installer and zip put it;\n"
    "  3. one installed on the system: ";
// After the lines of DOSBox, in the order the relay looks for them.
constexpr char kHelpEnd[] =
    ".\n"
    "The trace (\"DOSBox started: ...\") and --check say which one it is.\n";

// The relay's job takes no arguments: everything it needs is in its working
// directory and in the configuration file that it shares with the companion.
// Only --help and --version are answered; anything else is refused before
// the relay touches a file, so that a mistyped option never starts it. A
// refusal is answered where the line was typed and kept out of the log, so
// that a typo never stands as the relay's last failure.
// What the command line asks for instead of a run.
enum class Request { kRun, kCheck, kCheckAndProbe };

constexpr zindo::KnownOption kOptions[] = {{"--check"}, {"--probe"}};

// Returns the exit status when the relay is not to start.
std::optional<int> AnswerCommandLine(const std::vector<std::string>& words,
                                     Request& request) {
  using zindo::EarlyText;
  try {
    const zindo::CommandLine line = zindo::ParseCommandLine(words, kOptions);
    if (line.Has("--help")) {
      zindo::ShowEarlyText(kHelp + zindo::DosboxLinesInSearchOrder() + kHelpEnd,
                           EarlyText::kAnswer);
    } else if (line.Has("--version")) {
      zindo::ShowEarlyText(zindo::VersionText(zindo::kProgramName),
                           EarlyText::kAnswer);
    } else if (!line.operands.empty()) {
      throw zindo::CommandLineError("unexpected argument " +
                                    line.operands.front());
    } else if (line.Has("--probe") && !line.Has("--check")) {
      throw zindo::CommandLineError("--probe goes with --check");
    } else {
      request = !line.Has("--check")  ? Request::kRun
                : line.Has("--probe") ? Request::kCheckAndProbe
                                      : Request::kCheck;
      return std::nullopt;
    }
    return zindo::kExitNormal;
  } catch (const zindo::CommandLineError& refused) {
    const std::string why =
        std::string(refused.what()) + " (zindo-relay --help tells more)";
    zindo::ShowEarlyText(zindo::DiagnosticLine(why) + "\n",
                         EarlyText::kFailure);
    return kExitUsage;
  }
}

// The relay is gone when this returns: the port is released (its
// exclusive claim too) before the process exits.
int RunRelay(const zindo::Platform& platform) {
  zindo::Relay relay(platform);
  const int status = relay.Run();
  if (status == zindo::kExitEarlyFailure) {
    zindo::ShowEarlyText(zindo::DiagnosticLine(relay.early_failure()) + "\n",
                         zindo::EarlyText::kReportedFailure);
  }
  return status;
}

// Says what a run would do here, and does none of it; asked to probe, asks
// the device too.
int CheckHere(zindo::SystemPlatform& system, bool probe) {
  const zindo::StartCheck check = zindo::CheckStartUp(
      {system.Get(), system.programs(), system.drives(), system.user_files(),
       system.desktop(), system.surroundings()},
      probe);
  zindo::ShowEarlyText(check.report, zindo::EarlyText::kReport);
  const bool fine = check.would_start && (!probe || check.device_answered);
  return fine ? zindo::kExitNormal : zindo::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  Request request = Request::kRun;
  if (const auto status =
          AnswerCommandLine(zindo::ArgumentsOf(argc, argv), request)) {
    return *status;
  }
  std::unique_ptr<zindo::SystemPlatform> system;
  // A log that cannot be kept is said where the relay's diagnostics go,
  // once there is a process to say it.
  zindo::FileFailureLog log(zindo::FailureLogPlaceHere(),
                            [&system](const std::string& line) {
                              if (system)
                                system->Get().process.ReportDiagnostic(line);
                            });
  try {
    system = zindo::CreateSystemPlatform(log);
  } catch (const std::exception& failure) {
    log.RecordFailure(failure.what());
    zindo::ShowEarlyText(zindo::DiagnosticLine(failure.what()) + "\n",
                         zindo::EarlyText::kFailure);
    return zindo::kExitEarlyFailure;
  }
  if (request != Request::kRun) {
    return CheckHere(*system, request == Request::kCheckAndProbe);
  }
  // A DOS companion runs in DOSBox where the system cannot run it.
  zindo::DosCompanion companion(system->Get(), system->programs(),
                                system->drives(), system->user_files(),
                                system->desktop(), zindo::kCompanionPif);
  const zindo::Platform& platform = companion.platform();
  const int status = RunRelay(platform);
  platform.process.Exit(status);
  return status;
}

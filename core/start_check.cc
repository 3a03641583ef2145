#include "core/start_check.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "base/error.h"
#include "core/port_selection.h"
#include "dos/companion.h"
#include "exchange/config_file.h"
#include "exchange/file_names.h"
#include "link/device_message.h"
#include "link/device_probe.h"
#include "link/serial_port.h"
#include "link/timed_waits.h"

namespace zindo {
namespace {

using Verdict = Finding::Verdict;

class Report {
 public:
  void Add(const std::string& label, const Finding& finding) {
    text_ += ReportLines(
        {finding.verdict, label + ": " + finding.text, finding.fix});
    if (finding.verdict == Verdict::kBlocking) ++problems_;
  }
  int problems() const { return problems_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  int problems_ = 0;
};

// The request file goes first, before anything else: start-up ends at once
// when it cannot be written.
Finding RequestFileFinding(FileSystem& files) {
  const std::string in_the_way = files.NonFileKind(kRequestCreateName);
  if (in_the_way.empty()) return {Verdict::kGood, "can be written", ""};
  if (in_the_way.starts_with(kUnfollowedLink)) {  // replaced, where it may be
    return {Verdict::kWarning,
            std::string(kRequestCreateName) + " is " + in_the_way +
                ": the relay would replace it, or end where the folder keeps "
                "each user's files their own",
            "remove it, and keep others from writing in the folder"};
  }
  return {Verdict::kBlocking,
          std::string(kRequestCreateName) + " is " + in_the_way,
          "remove it: the relay writes its request file under that name"};
}

// The port as start-up selects it: port 1, then the configured one.
Finding PortFinding(const CheckServices& services, SerialPort& port) {
  try {
    port.SetCommPort(1);
  } catch (const Error&) {
  }
  FileSystem& files = services.platform.files;
  const ConfiguredSelection selection =
      SelectPortFromConfiguration(files, port);
  const std::string name = "COM" + std::to_string(port.CommPort());
  const std::string native = services.surroundings.NativePath(kConfigPath);
  const std::string where =
      std::string(kConfigPath) + (native.empty() ? "" : " (" + native + ")");
  if (selection.selected) return {Verdict::kGood, name + ", from " + where, ""};
  std::string why = selection.problems.empty()
                        ? std::string(kConfigPath) + " is missing"
                        : selection.problems.front();
  return {Verdict::kWarning,
          name + ", the default: " + why +
              "; the relay would show the default-port message and write " +
              kDefaultConfigLine,
          std::string("if the device is on another port, set it in the "
                      "companion, or as the first field of ") +
              kConfigPath + ", e.g. 3,-1,0,521,c,c:\\zindo\\,1"};
}

std::string CommandLineText(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    text += word.find_first_of(" \\") == std::string::npos ? word
                                                           : "'" + word + "'";
  }
  return text;
}

// The DOSBox chosen, by its line's name, since several may be installed;
// `origin` says why this one.
Finding DosboxFinding(const CheckServices& services, const std::string& path,
                      DosboxLine line, const std::string& origin) {
  const std::string version = services.surroundings.ProgramVersion(path);
  return {Verdict::kGood,
          std::string(DosboxLineName(line)) + ", " + path +
              (version.empty() ? "" : " (" + version + ")") +
              (origin.empty() ? "" : ", " + origin),
          ""};
}

// The companion leaves its requests in the folder it starts in, so that
// must be the folder where the relay looks for them. `working` is the
// relay's, native. What cannot be told is no reason to stop the relay.
Finding StartFolderFinding(const StartFolder& folder,
                           const std::string& working) {
  if (folder.same) {
    return {Verdict::kGood, folder.start + ", where the relay works", ""};
  }
  if (folder.uncertain) {
    return {Verdict::kWarning,
            "the companion starts in " + folder.start +
                "; the check cannot tell whether that is the relay's folder " +
                working + " (" + folder.reason + ")",
            "if the relay never sees the companion's requests, start the "
            "relay in the companion's start folder"};
  }
  std::string text = "the companion starts in " + folder.start +
                     ", not in the relay's folder " + working;
  if (!folder.working.empty() && folder.working != working) {
    text += " (" + folder.working + " to the companion)";
  }
  if (!folder.reason.empty()) text += " (" + folder.reason + ")";
  text += ": the relay would never see the companion's requests";
  const std::string fix = "start the relay in the companion's start folder";
  if (folder.working.empty()) {
    return {Verdict::kBlocking, text,
            fix + "; the companion cannot reach this one"};
  }
  return {Verdict::kBlocking, text,
          fix + ", or make " + folder.working + " the start folder in " +
              kCompanionPif + ", or leave it empty (zindo-mkpif --dir)"};
}

void CheckDosCompanion(const CheckServices& services, const std::string& pif,
                       Report& report) {
  const Platform& platform = services.platform;
  DosboxSession session(services.programs, services.desktop, platform.process,
                        platform.trace);
  DosboxLauncher launcher(platform.launcher, platform.files, services.programs,
                          services.drives, services.user_files,
                          services.desktop, session);
  try {
    const DosboxLauncher::DosboxStart start = launcher.Prepare(pif);
    report.Add("companion",
               {Verdict::kGood,
                pif + ", a DOS program, run in DOSBox as: " +
                    CommandLineText(ArgumentsWithHandedPaths(
                        start.run, "<settings file>", "<idle helper folder>")),
                ""});
    report.Add("DOSBox", DosboxFinding(services, start.dosbox.path,
                                       start.dosbox.line, start.dosbox.origin));
    report.Add(
        "start folder",
        StartFolderFinding(DosboxStartFolder(start.emulated, services.drives),
                           start.emulated.working_directory));
  } catch (const Error& failure) {
    const bool no_dosbox = FindOwnDosbox(services.programs).path.empty() &&
                           FindDosbox(services.programs).path.empty();
    report.Add("companion",
               {Verdict::kBlocking, failure.what(),
                no_dosbox ? "install DOSBox (Debian and Ubuntu: sudo apt "
                            "install dosbox)"
                          : "correct what the line above names in " + pif +
                                ", the folder or DOSBox"});
  }
}

void CheckCompanion(const CheckServices& services, Report& report) {
  const Platform& platform = services.platform;
  const std::string pif = platform.files.StoredName(kCompanionPif);
  if (pif.empty()) {
    report.Add("companion",
               {Verdict::kBlocking,
                std::string("no ") + kCompanionPif + " in this folder",
                "start the relay in the folder that holds the companion's "
                "autoexec.pif, or copy it here"});
    return;
  }
  if (RunsInDosbox(platform.launcher, platform.files, pif)) {
    CheckDosCompanion(services, pif, report);
    return;
  }
  report.Add("companion",
             {Verdict::kGood, pif + ", started by the system as it is", ""});
  if (const std::optional<StartFolder> folder =
          NativeStartFolder(platform.files, services.drives, pif)) {
    report.Add("start folder", StartFolderFinding(*folder, folder->working));
  }
  const FoundDosbox dosbox = FindDosbox(services.programs);
  report.Add("DOSBox",
             dosbox.path.empty()
                 ? Finding{Verdict::kGood, "not needed, not found", ""}
                 : DosboxFinding(services, dosbox.path, dosbox.line, ""));
}

// The ports this machine has, the relay's marked: the one to set when the
// relay's is not among them.
Finding PortListFinding(SerialPorts& ports, int selected) {
  const std::vector<KnownPort> known = ports.KnownPorts();
  if (known.empty()) return {Verdict::kGood, "this PC shows no COM port", ""};
  std::string text;
  for (const KnownPort& port : known) {
    if (!text.empty()) text += ", ";
    text += port.name;
    if (port.number == selected) text += " <- the relay's port";
  }
  return {Verdict::kGood, text, ""};
}

// A moment on the line, to the millisecond: "250 ms".
std::string Milliseconds(double seconds) {
  char text[24];
  std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000);
  return text;
}

// How many bytes came, how soon, and whether they make a whole message.
std::string AnswerText(const ProbeAnswer& answer) {
  const std::size_t announced = ExpectedLength(answer.bytes);
  std::string text =
      std::to_string(answer.bytes.size()) + " byte(s), the first " +
      Milliseconds(answer.first_byte_seconds) + " after the probe";
  if (answer.bytes.size() < announced) {
    text +=
        ", of the " + std::to_string(announced) + " its first byte announces";
  }
  return text;
}

Finding AnswerFinding(const std::string& com, const ProbeAnswer& answer) {
  switch (answer.kind) {
    case ProbeAnswer::Kind::kAnswered:
      return {Verdict::kGood,
              "the device on " + com + " answered: " + AnswerText(answer), ""};
    case ProbeAnswer::Kind::kEmptyFrame:
      return {Verdict::kWarning,
              "the device on " + com +
                  " answered with an empty frame (first byte 0): it is in its "
                  "own error state, and the relay would begin its recovery "
                  "cycle",
              "the relay recovers by itself while the device comes back; if "
              "it keeps answering so, switch the device off and on again"};
    case ProbeAnswer::Kind::kSilent:
      break;
  }
  return {Verdict::kBlocking,
          "no answer from the device on " + com + " within " +
              std::to_string(static_cast<int>(kProbeAnswerSeconds)) + " s",
          "check that the device is switched on, that its cable is plugged in "
          "at both ends and is the kind it needs, that " +
              com +
              " is the port it is on (the ports above), and that it works at "
              "19200 baud, 8 data bits, no parity, 1 stop bit"};
}

// The device at the selected port, asked as the recovery cycle asks it,
// unless `device` found the port unfit to be opened; `answer` is set when
// it was asked.
Finding ProbeFinding(const CheckServices& services, SerialPort& port,
                     const Finding& device,
                     std::optional<ProbeAnswer>& answer) {
  const std::string com = "COM" + std::to_string(port.CommPort());
  if (device.verdict != Verdict::kGood) {
    return {Verdict::kWarning, "not asked: " + device.text,
            "correct what the device line says, then ask again"};
  }
  try {
    TimedWaits waits(services.platform.clock, services.platform.events);
    answer = ProbeDevice(port, waits, BuildDevicePackets());
    return AnswerFinding(com, *answer);
  } catch (const Error& failure) {
    return {Verdict::kBlocking, failure.what(),
            failure.Is(ErrorKind::kBusy)
                ? "close the program that holds the port, then ask again"
                : "correct what the line above names, then ask again"};
  }
}

// The check's last line; with `ask_device`, what the device said too.
std::string VerdictLine(int problems, bool ask_device,
                        const std::optional<ProbeAnswer>& asked) {
  std::string line =
      problems == 0
          ? "The relay would start here"
          : "The relay would not start here: " + std::to_string(problems) +
                " problem(s) above";
  if (!ask_device) return line + ".\n";
  if (!asked) return line + "; the device was not asked.\n";
  switch (asked->kind) {
    case ProbeAnswer::Kind::kAnswered:
      return line + "; the device answered.\n";
    case ProbeAnswer::Kind::kEmptyFrame:
      return line + "; the device is in its own error state.\n";
    case ProbeAnswer::Kind::kSilent:
      break;
  }
  return line + "; the device did not answer.\n";
}

// Where the user finds why the relay ended when nobody saw it end.
Finding LogFinding(FailureLog& log) {
  const std::string path = log.path();
  if (path.empty()) {
    return {Verdict::kWarning, "none: this user has no folder for logs",
            "run the relay as a user with a home folder"};
  }
  try {
    const std::string last = log.LastFailure();
    if (last.empty()) return {Verdict::kGood, path + ", no failure in it", ""};
    return {Verdict::kWarning, path + ", last failure: " + last,
            "if the relay still ends so, correct what that line names"};
  } catch (const Error& failure) {
    return {Verdict::kWarning, failure.what(),
            "make the log readable to this user, or remove it"};
  }
}

}  // namespace

StartCheck CheckStartUp(const CheckServices& services, bool ask_device) {
  Surroundings& surroundings = services.surroundings;
  Report report;
  report.Add("prefix", surroundings.Prefix());
  report.Add("folder", surroundings.WorkingDirectory());
  report.Add("others", surroundings.OtherWriters());
  report.Add("request file", RequestFileFinding(services.platform.files));
  SerialPort port(services.platform.ports);
  report.Add("port", PortFinding(services, port));
  const Finding device = surroundings.Device(port.CommPort());
  report.Add("device", device);
  report.Add("ports",
             PortListFinding(services.platform.ports, port.CommPort()));
  CheckCompanion(services, report);
  report.Add("display", surroundings.Display());
  report.Add("watching", surroundings.DirectoryWatching());
  report.Add("log", LogFinding(services.platform.log));
  const int problems = report.problems();
  std::optional<ProbeAnswer> asked;
  if (ask_device) {
    report.Add("probe", ProbeFinding(services, port, device, asked));
  }
  StartCheck check{report.text(), problems == 0};
  check.device_answered = asked && asked->kind == ProbeAnswer::Kind::kAnswered;
  check.report += VerdictLine(problems, ask_device, asked);
  return check;
}

}  // namespace zindo

#include "core/port_selection.h"

#include <string>

#include "base/error.h"
#include "base/program_name.h"
#include "exchange/config_file.h"
#include "exchange/file_names.h"

namespace zindo {

namespace {

void UseDefaultPort(FileSystem& files, LoggedMessageBox& message_box,
                    Process& process, const std::string& why) {
  message_box.ShowBecause(kProgramName, kDefaultPortMessage, why);
  try {
    WriteDefaultConfiguration(files);
  } catch (const Error& error) {
    process.ReportDiagnostic(
        std::string("cannot write the default configuration: ") + error.what());
  }
}

// Why a configuration that yields no problem is not used: it is missing, or
// stored under another case than the one the relay looks for.
std::string MissingReason(FileSystem& files) {
  std::string stored;
  try {
    stored = files.StoredName(kConfigLookupPath);
  } catch (const Error&) {
    // A look-up that fails finds nothing, as the configuration's own does.
  }
  const std::string path = kConfigPath;
  if (stored.empty()) return path + " is missing";
  return path + " is missing: there is " + stored +
         ", and the name must be in capitals";
}

}  // namespace

ConfiguredSelection SelectPortFromConfiguration(FileSystem& files,
                                                SerialPort& port) {
  ConfiguredSelection selection;
  const ConfiguredPort configured = ReadConfiguredPort(files);
  if (!configured.problem.empty()) {
    selection.problems.push_back(configured.problem);
    selection.default_reason = configured.problem;
  }
  if (!configured.number) {
    if (selection.default_reason.empty()) {
      selection.default_reason = MissingReason(files);
    }
    return selection;
  }
  try {
    port.SetCommPort(*configured.number);
    selection.selected = true;
  } catch (const Error& refused) {
    selection.problems.push_back(refused.what());
    selection.default_reason = std::string(kConfigStoredName) + " names port " +
                               std::to_string(*configured.number) +
                               ", which this PC does not have";
  }
  return selection;
}

void SelectConfiguredPort(FileSystem& files, LoggedMessageBox& message_box,
                          Process& process, SerialPort& port) {
  const ConfiguredSelection selection =
      SelectPortFromConfiguration(files, port);
  for (const std::string& problem : selection.problems) {
    process.ReportDiagnostic(problem);
  }
  if (selection.selected) return;
  UseDefaultPort(files, message_box, process, selection.default_reason);
}

}  // namespace zindo

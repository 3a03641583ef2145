#include "core/port_selection.h"

#include <string>

#include "base/error.h"
#include "base/program_name.h"
#include "exchange/config_file.h"

namespace zindo {

namespace {

void UseDefaultPort(FileSystem& files, MessageBox& message_box,
                    Process& process) {
  message_box.Show(kProgramName, kDefaultPortMessage);
  try {
    WriteDefaultConfiguration(files);
  } catch (const Error& error) {
    process.ReportDiagnostic(
        std::string("cannot write the default configuration: ") + error.what());
  }
}

}  // namespace

ConfiguredSelection SelectPortFromConfiguration(FileSystem& files,
                                                SerialPort& port) {
  ConfiguredSelection selection;
  const ConfiguredPort configured = ReadConfiguredPort(files);
  if (!configured.problem.empty()) {
    selection.problems.push_back(configured.problem);
  }
  if (!configured.number) return selection;
  try {
    port.SetCommPort(*configured.number);
    selection.selected = true;
  } catch (const Error& refused) {
    selection.problems.push_back(refused.what());
  }
  return selection;
}

void SelectConfiguredPort(FileSystem& files, MessageBox& message_box,
                          Process& process, SerialPort& port) {
  const ConfiguredSelection selection =
      SelectPortFromConfiguration(files, port);
  for (const std::string& problem : selection.problems) {
    process.ReportDiagnostic(problem);
  }
  if (selection.selected) return;
  UseDefaultPort(files, message_box, process);
}

}  // namespace zindo

#include "core/port_selection.h"

#include <string>

#include "exchange/config_file.h"
#include "platform/error.h"
#include "platform/program_name.h"

namespace zindo {

namespace {

// Whether the port the configuration names is selected. Any reason it is
// not, but a missing file, is reported.
bool UseConfiguredPort(FileSystem& files, Process& process, SerialPort& port) {
  const ConfiguredPort configured = ReadConfiguredPort(files);
  if (!configured.problem.empty()) process.ReportDiagnostic(configured.problem);
  if (!configured.number) return false;
  try {
    port.SetCommPort(*configured.number);
    return true;
  } catch (const Error& refused) {
    process.ReportDiagnostic(refused.what());
    return false;
  }
}

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

void SelectConfiguredPort(FileSystem& files, MessageBox& message_box,
                          Process& process, SerialPort& port) {
  if (UseConfiguredPort(files, process, port)) return;
  UseDefaultPort(files, message_box, process);
}

}  // namespace zindo

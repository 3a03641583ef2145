#include "core/relay.h"

#include <exception>

#include "exchange/config_file.h"
#include "exchange/file_names.h"
#include "exchange/request_file.h"
#include "exchange/status_file.h"
#include "platform/error.h"

namespace zindo {

namespace {

constexpr char kLineSettings[] = "19200,N,8,1";
// A request is read this long after it was noticed, so that the companion
// has finished writing it.
constexpr float kRequestSettleSeconds = 0.3f;

}  // namespace

Relay::Relay(const Platform& platform)
    : platform_(platform),
      waits_(platform.clock, platform.events),
      port_(platform.ports) {}

int Relay::Run() {
  if (!AskRunningRelayToQuit()) return kExitEarlyFailure;
  PrepareWorkDirectory();
  SelectPort();
  try {
    StartServing();
    ServiceLoop();
    EndNormally();
    return kExitNormal;
  } catch (const std::exception& failure) {
    TakeFailurePath(failure.what());
    return kExitFailure;
  }
}

// A relay already running in this directory takes the quit request from the
// request file on its next poll and ends. Failing here ends the run at once:
// without the request file there is no way to talk to the companion.
bool Relay::AskRunningRelayToQuit() {
  try {
    WriteQuitRequest(platform_.files);
    return true;
  } catch (const std::exception& failure) {
    Report(std::string("cannot write the request file: ") + failure.what());
    return false;
  }
}

// Fails on every run after the first, because the directory exists then;
// that is expected and ignored.
void Relay::PrepareWorkDirectory() {
  try {
    platform_.files.CreateDirectory(kWorkDirectory);
  } catch (const Error&) {
  }
}

void Relay::SelectPort() {
  try {
    port_.SetCommPort(1);
  } catch (const Error& failure) {
    Report(failure.what());  // the configured port may still be usable
  }
  SelectConfiguredPort(platform_.files, platform_.message_box,
                       platform_.process, port_);
}

void Relay::StartServing() {
  port_.SetSettings(kLineSettings);
  port_.SetInputLen(0);
  port_.SetPortOpen(true);
  request_pending_ = 0;
  port_.SetRTSEnable(true);
  WriteRunningStatus(platform_.files, port_.CDHolding());
  port_.SetRThreshold(1);
  DeleteRequest(platform_.files);
  platform_.launcher.Launch(kCompanionPif);
}

void Relay::ServiceLoop() {
  while (quit_ == 0) {
    waits_.Yield();
    port_.SetInputLen(0);
    PollUntilWork();
    if (request_pending_ == 1) HandleRequest();
  }
}

// Polls the request file and the port, in turn, until a request is pending.
void Relay::PollUntilWork() {
  while (request_pending_ == 0) {
    waits_.WaitForActivity();
    if (RequestPresent(platform_.files)) request_pending_ = 1;
    waits_.Yield();
    if (port_.InBufferCount() != 0) DrainReceivedBytes();
  }
}

// Replies are not yet collected for the companion: bytes from the device are
// read and dropped, so that they do not keep the polling loop awake.
void Relay::DrainReceivedBytes() {
  std::string dropped = port_.Input();
  Report("dropped " + std::to_string(dropped.size()) +
         " bytes from the device: replies are not relayed yet");
}

void Relay::HandleRequest() {
  waits_.Yield();
  if (RequestPresent(platform_.files)) {
    waits_.GuardedPause(kRequestSettleSeconds);
    waits_.Yield();
    std::string request = ReadShortRequest(platform_.files);
    DeleteRequest(platform_.files);
    if (request == QuitRequest()) {
      quit_ = 1;
    } else {
      Report("request not sent: only the quit request is relayed yet");
    }
  }
  request_pending_ = 0;
}

void Relay::EndNormally() {
  port_.SetPortOpen(false);
  WriteStoppedStatus(platform_.files);
}

// Nothing is tidied up: the port stays open and the status file keeps what it
// holds until the process ends.
void Relay::TakeFailurePath(const std::string& cause) {
  Report(cause);
  platform_.message_box.Show(kAppTitle, kFailureMessage);
}

void Relay::Report(const std::string& line) {
  platform_.process.ReportDiagnostic(std::string(kAppTitle) + ": " + line);
}

}  // namespace zindo

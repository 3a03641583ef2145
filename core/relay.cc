#include "core/relay.h"

#include <exception>
#include <optional>

#include "base/error.h"
#include "base/program_name.h"
#include "core/line_recovery.h"
#include "core/port_selection.h"
#include "exchange/file_names.h"
#include "exchange/request_file.h"
#include "exchange/response_file.h"
#include "exchange/status_file.h"
#include "link/device_probe.h"
#include "link/reply_collection.h"
#include "platform/system/stop_request.h"

namespace zindo {

namespace {

// A request is read this long after it was noticed, so that the companion
// has finished writing it.
constexpr float kRequestSettleSeconds = 0.3f;

}  // namespace

Relay::Relay(const Platform& platform)
    : platform_(platform),
      message_box_(platform.message_box, platform.log),
      waits_(platform.clock, platform.events),
      port_(platform.ports),
      packets_(BuildDevicePackets()),
      quit_request_(QuitRequest()) {}

// A stop asked from outside (a signal, a log-off) can come at any wait from
// the default-port message on; it ends the run as the quit request does.
int Relay::Run() {
  if (!AskRunningRelayToQuit()) return kExitEarlyFailure;
  try {
    PrepareWorkDirectory();
    SelectPort();
    return Serve();
  } catch (const StopRequested& stop) {
    TraceEvent("stop requested: " + stop.reason);
    return EndNormally();
  }
}

int Relay::Serve() {
  try {
    StartServing();
    ServiceLoop();
  } catch (const std::exception& failure) {
    TakeFailurePath(failure.what());
    return kExitFailure;
  }
  return EndNormally();
}

int Relay::EndNormally() {
  try {
    StopServing();
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
    early_failure_ =
        std::string("cannot write the request file: ") + failure.what();
    ReportFailure(early_failure_);
    return false;
  }
}

// Fails on every run after the first, because the directory exists then;
// that is expected. Any other failure shows again, with the file's name,
// when the relay writes into the directory, so it is only traced here.
void Relay::PrepareWorkDirectory() {
  try {
    platform_.files.CreateDirectory(kWorkDirectory);
  } catch (const Error& failure) {
    if (!failure.Is(ErrorKind::kExists)) TraceEvent(failure.what());
  }
}

void Relay::SelectPort() {
  try {
    port_.SetCommPort(1);
  } catch (const Error& failure) {
    Report(failure.what());  // the configured port may still be usable
  }
  SelectConfiguredPort(platform_.files, message_box_, platform_.process, port_);
}

void Relay::StartServing() {
  port_.SetSettings(kDeviceLineSettings);
  port_.SetInputLen(0);
  port_.SetPortOpen(true);
  port_.SetRTSEnable(true);
  WriteRunningStatus(platform_.files, port_.CDHolding());
  port_.SetRThreshold(1);
  DeleteRequest(platform_.files);
  platform_.launcher.Launch(kCompanionPif);
  TraceEvent("serving COM" + std::to_string(port_.CommPort()) +
             "; companion started");
}

void Relay::ServiceLoop() {
  for (;;) {
    waits_.Yield();
    port_.SetInputLen(0);
    if (PollUntilWork() == PollResult::kRequest && HandleRequest()) return;
  }
}

// Poll rounds, each looking for a request and then at the port, until a
// request is pending or a reply is written. A request wins: a reply collected
// in the same round is dropped, never written.
Relay::PollResult Relay::PollUntilWork() {
  for (;;) {
    waits_.WaitForActivity();
    const bool request_left = LookForRequest();
    std::string reply;
    const PollResult port = PollPort(reply);
    if (request_left || port == PollResult::kRequest) {
      if (!reply.empty()) TraceEvent("reply dropped: a request is waiting");
      return PollResult::kRequest;
    }
    if (port == PollResult::kReply) {
      WriteResponse(platform_.files, reply);
      TraceEvent("response written: " + ResponseText(reply));
      return PollResult::kReply;
    }
  }
}

// Whether the companion has left a request. An entry under the request's
// name that is no file (a pipe, a device) is passed over; the user is told
// once, when it appears.
bool Relay::LookForRequest() {
  const RequestLook look = zindo::LookForRequest(platform_.files);
  if (look.not_a_file != ignored_request_) {
    ignored_request_ = look.not_a_file;
    if (!ignored_request_.empty()) ReportPassedOver();
  }
  return look.present;
}

void Relay::ReportPassedOver() {
  const std::string passed_over = std::string(kRequestCreateName) + " is " +
                                  ignored_request_ +
                                  ", not a regular file: passed over";
  Report(passed_over);
  TraceEvent(passed_over);
}

// Collects what the device sent, if anything, into `reply`. An empty frame
// hands the line to the recovery cycle, after which the port is polled
// again, unless that cycle found a request instead, which then goes to the
// request step at once.
Relay::PollResult Relay::PollPort(std::string& reply) {
  for (;;) {
    waits_.Yield();
    if (port_.InBufferCount() == 0) return PollResult::kNothing;
    CollectedReply collected =
        CollectReply(port_, waits_, packets_, platform_.trace);
    if (collected.kind != CollectedReply::Kind::kEmptyFrame) {
      reply = std::move(collected.bytes);
      return reply.empty() ? PollResult::kNothing : PollResult::kReply;
    }
    if (RecoverLine(port_, waits_, platform_.files, packets_,
                    platform_.trace) == RecoveryOutcome::kRequestPending) {
      return PollResult::kRequest;
    }
  }
}

// Reads, decodes and deletes the request, then sends it, unless it is the
// quit request or has vanished since it was noticed. Returns whether it was
// the quit request, which ends the service loop.
bool Relay::HandleRequest() {
  waits_.Yield();
  if (!RequestPresent(platform_.files)) {
    TraceEvent("request gone before it was read");
    return false;
  }
  waits_.GuardedPause(kRequestSettleSeconds);
  waits_.Yield();
  const std::string request = ReadRequest(platform_.files);
  DeleteRequest(platform_.files);
  if (request == quit_request_) {
    TraceEvent("quit request");
    return true;
  }
  SendRequest(request);
  return false;
}

// The request file is gone by now, so the request goes out even when a stop
// comes during the yields before it: the companion must not lose it.
void Relay::SendRequest(const std::string& request) {
  std::optional<StopRequested> stop;
  try {
    for (int i = 0; i < 3; ++i) waits_.Yield();
  } catch (const StopRequested& requested) {
    stop = requested;
  }
  port_.Output(request);
  TraceEvent("request sent: " + DecimalBytes(request));
  if (stop) throw *stop;
}

void Relay::StopServing() {
  port_.SetPortOpen(false);
  WriteStoppedStatus(platform_.files);
  TraceEvent("stopped");
}

// Nothing is tidied up: the port stays open and the status file keeps what it
// holds until the process ends. A stop while the failure message is shown
// closes it; the run still ends as a failure.
void Relay::TakeFailurePath(const std::string& cause) {
  TraceEvent("failure: " + cause);
  ReportFailure(cause);
  try {
    message_box_.Show(kProgramName, kFailureMessage);
  } catch (const StopRequested& stop) {
    TraceEvent("stop requested: " + stop.reason);
  }
}

void Relay::TraceEvent(const std::string& event) {
  platform_.trace.Record(event);
}

void Relay::Report(const std::string& line) {
  platform_.process.ReportDiagnostic(line);
}

// Said first where it always shows, then kept in the log for a user who
// did not see it.
void Relay::ReportFailure(const std::string& cause) {
  Report(cause);
  platform_.log.RecordFailure(cause);
}

}  // namespace zindo

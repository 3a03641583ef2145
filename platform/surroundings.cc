#include "platform/surroundings.h"

#include "base/error.h"
#include "platform/serial/network_port.h"

namespace zindo {

Finding ServerPortFinding(const std::string& com, const std::string& where,
                          const std::string& server) {
  try {
    const NetworkAddress address = ParseNetworkAddress(server);
    return {Finding::Verdict::kGood,
            com + ": " + where + " -> " + address.Text() +
                ", a serial server (not connected to by the check)",
            ""};
  } catch (const Error& failure) {
    return {Finding::Verdict::kBlocking, com + ": " + failure.what(),
            "name rfc2217://HOST:PORT or tcp://HOST:PORT in " + where};
  }
}

Finding OtherWritersFinding(const std::string& directory,
                            const std::string& writers,
                            const std::string& fix) {
  if (writers.empty()) {
    return {Finding::Verdict::kGood, "no other user may write in the folder",
            ""};
  }
  return {Finding::Verdict::kWarning,
          "other users may write in " + directory + ": " + writers +
              "; they could leave the companion requests (their links are "
              "not followed)",
          fix};
}

std::string ReportLines(const Finding& finding) {
  static constexpr const char* kMarks[] = {"ok       ", "warning  ",
                                           "PROBLEM  "};
  std::string lines =
      kMarks[static_cast<int>(finding.verdict)] + finding.text + "\n";
  if (!finding.fix.empty()) {
    lines += "         what to do: " + finding.fix + "\n";
  }
  return lines;
}

}  // namespace zindo

#include "platform/surroundings.h"

namespace zindo {

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

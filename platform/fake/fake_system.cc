#include "platform/fake/fake_system.h"

namespace zindo {

void FakeProcess::WriteDiagnosticLine(const std::string& line) {
  diagnostics_.push_back(line);
}

void FakeProcess::Exit(int status) {
  journal_.Record("exit " + std::to_string(status));
  throw FakeExit{status};
}

}  // namespace zindo

#include "platform/fake/fake_programs.h"

#include "base/error.h"

namespace zindo {

void FakeLauncher::Launch(const std::string& pif_name) {
  journal_.Record("launch " + pif_name);
  if (!failure_.empty()) throw Error(failure_);
}

Programs::Search FakePrograms::Find(const std::string& name) {
  const bool found = installed && on_path.contains(name);
  return {found ? "/usr/bin/" + name : "",
          "for " + name + " on PATH (/usr/bin)"};
}

Programs::Search FakePrograms::FindInstalled(const Installed& wanted) {
  installed_asked.push_back(wanted);
  const auto found = installed_at.find(wanted.name);
  return {found == installed_at.end() ? "" : found->second,
          "where " + wanted.name + "'s installer records it"};
}

Programs::Search FakePrograms::FindBesideRelay(const std::string& folder,
                                               const std::string& name) {
  const std::string path = "/opt/zindo-relay/" + folder + "/" + name;
  return {brought ? path : "", "for " + path};
}

int FakePrograms::StartDetached(const ProgramRun& run) {
  journal_.Record("start " + run.arguments.at(0));
  if (start_failure) throw *start_failure;
  runs.push_back(run);
  return kProcessId;
}

}  // namespace zindo

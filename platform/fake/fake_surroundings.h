#ifndef ZINDO_PLATFORM_FAKE_FAKE_SURROUNDINGS_H_
#define ZINDO_PLATFORM_FAKE_FAKE_SURROUNDINGS_H_

#include <string>
#include <vector>

#include "platform/surroundings.h"

namespace zindo {

// Good surroundings, with a DOSBox that tells its version, and a device
// as good as `device` says. Records the ports asked about.
class FakeSurroundings : public Surroundings {
 public:
  Finding Prefix() override { return {Finding::Verdict::kGood, "/prefix", ""}; }
  Finding WorkingDirectory() override {
    return {Finding::Verdict::kGood, "/c/ZINDO", ""};
  }
  Finding OtherWriters() override { return other_writers; }
  std::string NativePath(const std::string&) override { return ""; }
  Finding Device(int port) override {
    devices_asked.push_back(port);
    return device;
  }
  Finding Display() override { return {Finding::Verdict::kGood, ":0", ""}; }
  Finding DirectoryWatching() override {
    return {Finding::Verdict::kGood, "inotify", ""};
  }
  std::string ProgramVersion(const std::string&) override {
    return "DOSBox version 0.74-3";
  }

  Finding device{Finding::Verdict::kGood, "COM?: can be opened now", ""};
  Finding other_writers{Finding::Verdict::kGood,
                        "no other user may write in the folder", ""};
  std::vector<int> devices_asked;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_SURROUNDINGS_H_

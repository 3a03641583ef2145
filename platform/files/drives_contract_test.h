#ifndef ZINDO_PLATFORM_FILES_DRIVES_CONTRACT_TEST_H_
#define ZINDO_PLATFORM_FILES_DRIVES_CONTRACT_TEST_H_

// What every Drives promises, stated once and run against the system's own
// in a temporary directory. Each implementation's test file instantiates
// DrivesContract with a factory for it.

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "gtest/gtest.h"
#include "platform/files/drives.h"

namespace zindo {

// Drives under test, with a temporary directory to resolve names in and a
// way around the service to set it up.
class DrivesUnderTest {
 public:
  virtual ~DrivesUnderTest() = default;

  virtual Drives& drives() = 0;

  // The native path of `relative` ('/' between its names) in the temporary
  // directory, spelt with the system's separator.
  virtual std::string Native(const std::string& relative) = 0;

  // What ResolvedDirectory gives for the existing `relative`: the temporary
  // directory as the system reaches it, then '/' and `relative`.
  virtual std::string Resolved(const std::string& relative) = 0;

  // Makes the directory `relative`; the one that holds it exists.
  virtual void MakeDirectory(const std::string& relative) = 0;

  // Makes `link` a link to the directory `target`, both relative; false
  // where the system (Wine, say) cannot make one.
  virtual bool MakeDirectoryLink(const std::string& target,
                                 const std::string& link) = 0;

  // The short name that the system keeps beside the last name of the
  // existing `relative`, or "" where it keeps none.
  virtual std::string ShortName(const std::string& relative) = 0;
};

// One implementation to run the suite on, and where it may differ from
// the others.
struct DrivesFactory {
  std::string name;
  // The system's words for a missing directory, which follow the path in
  // the error; "" where they are the system's own, in its language.
  std::string missing_reason;
  // The system finds a name in any case, and resolves it to the one stored.
  bool blind_to_case = false;
  std::function<std::unique_ptr<DrivesUnderTest>()> make;

  friend std::ostream& operator<<(std::ostream& out,
                                  const DrivesFactory& factory) {
    return out << factory.name;
  }
};

class DrivesContract : public ::testing::TestWithParam<DrivesFactory> {
 protected:
  void SetUp() override { system_ = GetParam().make(); }
  Drives& drives() { return system_->drives(); }

  std::unique_ptr<DrivesUnderTest> system_;
};

// Names each instantiation's tests after the implementation.
inline std::string DrivesName(
    const ::testing::TestParamInfo<DrivesFactory>& info) {
  return info.param.name;
}

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FILES_DRIVES_CONTRACT_TEST_H_

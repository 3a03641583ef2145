#ifndef ZINDO_PLATFORM_SURROUNDINGS_H_
#define ZINDO_PLATFORM_SURROUNDINGS_H_

#include <string>

namespace zindo {

// One thing the relay would meet at start-up, as a check reports it.
struct Finding {
  enum class Verdict {
    kGood,
    kWarning,   // the relay would start, but not as the user may expect
    kBlocking,  // the relay would end through its failure path
  };
  Verdict verdict = Verdict::kGood;
  std::string text;  // what the relay would find: "/dev/ttyUSB0 ..."
  std::string fix;   // what to do about it, one line; "" when good
};

// A port that port file or link `where` ("zindo-com3.txt") gives to the
// serial server at `server`: the address is read, but not connected to,
// since a connection would take the server's one line from a relay that
// holds it. A problem when `server` is no address.
Finding ServerPortFinding(const std::string& com, const std::string& where,
                          const std::string& server);

// Who besides this user may write in `directory`: good when `writers` is
// "", else a warning that names them (`writers`, as a list in words) and
// says what to do (`fix`, the system's own way of closing the folder).
Finding OtherWritersFinding(const std::string& directory,
                            const std::string& writers, const std::string& fix);

// `finding` as every check prints it: a line that starts with its verdict
// ("ok", "warning" or "PROBLEM", in a column of their own), then, unless it
// is "", a line that says what to do, indented under the text.
std::string ReportLines(const Finding& finding);

// What the relay would find around it on this machine, looked at without
// changing anything: no file is written or created, no lock is taken, no
// device is opened but a system's COM port for a moment (below), and
// nothing is started but a program asked for its version.
class Surroundings {
 public:
  virtual ~Surroundings() = default;

  // Where the relay finds the ports and drives, and where that comes from.
  virtual Finding Prefix() = 0;

  // The working directory, and whether the relay may create and replace
  // its files there.
  virtual Finding WorkingDirectory() = 0;

  // Whether users other than this one may write in the working directory:
  // a warning when they may, since they could leave the companion requests
  // or links, never a problem.
  virtual Finding OtherWriters() = 0;

  // The native path of the existing file that the DOS path `path` names,
  // or "" when there is none.
  virtual std::string NativePath(const std::string& path) = 0;

  // The device that port `port` opens, and whether this user could open it
  // now: it exists, may be read and written, and no other program holds it.
  // Where only an open tells (Windows' COM ports), the port is opened and
  // closed at once, unconfigured; a port that may be the console (a built-in
  // port without a link) and a serial server are never opened. A port that
  // is held is said with kPortInUse, one that is missing with NoSuchPortText.
  virtual Finding Device(int port) = 0;

  // Whether there is a desktop for the relay's messages and for the keys
  // it sends to other programs' windows.
  virtual Finding Display() = 0;

  // How the relay would learn of changes in its directory, and the
  // system's limits on that.
  virtual Finding DirectoryWatching() = 0;

  // The first line that `program` prints about its version, or "" when it
  // cannot be asked. Waits a few seconds at most.
  virtual std::string ProgramVersion(const std::string& program) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SURROUNDINGS_H_

#ifndef ZINDO_TOOLS_PSEUDO_TERMINAL_H_
#define ZINDO_TOOLS_PSEUDO_TERMINAL_H_

#include <sys/types.h>

#include <string>
#include <utility>

namespace zindo::tools {

// A pseudo-terminal whose slave side stands in for a serial port and whose
// master side plays the device at the far end of the line. The master is
// closed when the object is destroyed, which the slave's user sees as the
// device going away.
class PseudoTerminal {
 public:
  // Opens a new pair. Throws std::system_error when the system has none left.
  PseudoTerminal();
  ~PseudoTerminal();

  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device path a program opens to use the slave side, e.g. /dev/pts/4.
  const std::string& slave_path() const { return slave_path_; }

  // The master side, or -1 once it has been closed.
  int master_fd() const { return master_fd_; }

  // Lets `uid`:`gid` open the slave side, for a program that runs as another
  // user than the one that made the pair.
  void HandSlaveTo(uid_t uid, gid_t gid) const;

  // Closes the master side now: the line hangs up under whoever has the slave
  // open.
  void CloseMaster();

 private:
  int master_fd_ = -1;
  std::string slave_path_;
};

// What PointLinkAt may replace.
enum class Replace {
  // Nothing but a link to a pseudo-terminal (/dev/pts/N), such as one left
  // by a simulator that was killed. A link to a real port, a file or a
  // directory is the user's.
  kOnlyPseudoTerminalLinks,
  kAnything,  // asked for with --force, or in a test's own sandbox
};

// Makes `link_path` a symbolic link to `target`, replacing an entry already
// there in one step, so that a reader never sees it missing, and making
// the folders on its way that are missing. Throws Error,
// saying what is there, when `replace` does not allow replacing it; throws
// std::system_error when the system refuses.
void PointLinkAt(const std::string& link_path, const std::string& target,
                 Replace replace);

// Removes `link_path` if it is still a link to `target`. A link that has
// since been pointed elsewhere, or replaced by a file, belongs to whoever
// did that and is left alone.
void RemoveLinkIfPointingAt(const std::string& link_path,
                            const std::string& target);

// Removes a link made by PointLinkAt when it goes out of scope, however the
// tool ends, as RemoveLinkIfPointingAt does.
class LinkRemover {
 public:
  LinkRemover(std::string link_path, std::string target)
      : link_path_(std::move(link_path)), target_(std::move(target)) {}
  ~LinkRemover() { RemoveLinkIfPointingAt(link_path_, target_); }
  LinkRemover(const LinkRemover&) = delete;
  LinkRemover& operator=(const LinkRemover&) = delete;

 private:
  std::string link_path_;
  std::string target_;
};

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_PSEUDO_TERMINAL_H_

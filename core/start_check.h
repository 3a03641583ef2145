#ifndef ZINDO_CORE_START_CHECK_H_
#define ZINDO_CORE_START_CHECK_H_

#include <string>

#include "platform/desktop/desktop.h"
#include "platform/files/drives.h"
#include "platform/files/user_files.h"
#include "platform/platform.h"
#include "platform/programs/programs.h"
#include "platform/surroundings.h"

namespace zindo {

// What the check is given: the services the relay would start with, and
// its surroundings.
struct CheckServices {
  const Platform& platform;
  Programs& programs;
  Drives& drives;
  UserFiles& user_files;
  Desktop& desktop;
  Surroundings& surroundings;
};

// What start-up would do in the working directory, found the way start-up
// finds it but without doing any of it: no request, status or
// configuration file is written, no directory created, no port opened, no
// message shown, nothing started but DOSBox asked for its version. One line
// each for the prefix, the working directory, the port and where its number
// comes from, the device, the companion and DOSBox, the folder the
// companion starts in (a problem unless it is the working directory, where
// the relay looks for its requests; a warning where that cannot be told,
// never a problem), the display, the directory watching
// and the log with its last failure; each problem or warning followed by
// one line that says what to do. The ports this machine has follow the
// device, the relay's marked.
//
// With `ask_device`, the device is asked last, as the line recovery cycle
// asks it (ProbeDevice): the port is opened, which is the one thing done,
// unless the device line has found it held, missing or not certainly the
// device (a built-in port without a link). No file is written then either.
struct StartCheck {
  std::string report;            // ends with the verdict, on a line of its own
  bool would_start = false;      // no problem would end the relay at start-up
  bool device_answered = false;  // asked, it answered the probe
};
StartCheck CheckStartUp(const CheckServices& services, bool ask_device = false);

}  // namespace zindo

#endif  // ZINDO_CORE_START_CHECK_H_

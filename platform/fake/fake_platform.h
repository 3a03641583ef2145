#ifndef ZINDO_PLATFORM_FAKE_FAKE_PLATFORM_H_
#define ZINDO_PLATFORM_FAKE_FAKE_PLATFORM_H_

// In-memory stand-ins for every operating-system service, for unit tests of
// the relay's logic, one subject in each file beside this one. They record
// what the relay did, in order, in one shared journal, and run on a fake
// clock that only moves when the relay yields. This header puts them
// together.

#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_drives.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_journal.h"
#include "platform/fake/fake_programs.h"
#include "platform/fake/fake_serial_ports.h"
#include "platform/fake/fake_surroundings.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/fake_user_files.h"
#include "platform/platform.h"

namespace zindo {

// Every fake, wired together.
struct FakePlatform {
  FakePlatform() { journal.set_clock(&clock); }
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;
  FakeJournal journal;
  FakeClock clock;
  FakeEventPump events{clock};
  FakeFileSystem files{journal};
  FakeSerialPorts ports{journal};
  FakeMessageBox message_box{journal};
  FakeLauncher launcher{journal};
  FakeProcess process{journal};
  FakeTrace trace{clock};
  FakeFailureLog log;
  FakePrograms programs{journal};
  FakeDrives drives;
  FakeUserFiles user_files;
  FakeDesktop desktop{journal};
  Platform platform{clock,    events,  files, ports, message_box,
                    launcher, process, trace, log};
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_FAKE_FAKE_PLATFORM_H_

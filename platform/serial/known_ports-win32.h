#ifndef ZINDO_PLATFORM_SERIAL_KNOWN_PORTS_WIN32_H_
#define ZINDO_PLATFORM_SERIAL_KNOWN_PORTS_WIN32_H_

#include <string>
#include <vector>

#include "base/error.h"
#include "platform/serial/known_ports.h"
#include "platform/windows-win32.h"

namespace zindo {

// The COM ports Windows knows: those of Device Manager's Ports class, with
// their friendly names ("USB Serial Port (COM3)"), joined with those the
// drivers list in HARDWARE\DEVICEMAP\SERIALCOMM, where ports that Device
// Manager does not show (some virtual ports, Wine's) appear too.
std::vector<KnownPort> ComPortsOfThisPc();

// What a failed open of a COM port, `what` ("open COM3"), with the system's
// `code` means: a port held by another program is refused as access denied
// or as a sharing violation (ErrorKind::kBusy, kPortInUse); one that is not
// there as not found (kNotFound, NoSuchPortText of `known`); anything else
// keeps the system's text.
Error ComPortOpenError(const std::string& what, DWORD code,
                       const std::vector<KnownPort>& known);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SERIAL_KNOWN_PORTS_WIN32_H_

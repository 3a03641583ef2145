#include "platform/clock-win32.h"

#include "platform/windows-win32.h"

namespace zindo {

double Win32Clock::SecondsSinceMidnight() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond +
         now.wMilliseconds / 1000.0;
}

}  // namespace zindo

#include "platform/system/clock-win32.h"

#include <algorithm>
#include <cstdio>

#include "platform/windows-win32.h"

namespace zindo {

double Win32Clock::SecondsSinceMidnight() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond +
         now.wMilliseconds / 1000.0;
}

double Win32Clock::MonotonicSeconds() { return MonotonicNow(); }

double MonotonicNow() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

double Win32Clock::ReadingStepSeconds() {
  DWORD adjustment = 0;
  DWORD increment = 0;
  BOOL disabled = FALSE;
  // The increment is in units of 100 ns; readings carry milliseconds.
  if (!::GetSystemTimeAdjustment(&adjustment, &increment, &disabled)) {
    return 0.016;
  }
  return std::max(increment / 1e7, 0.001);
}

std::string LocalTimeOfDay() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

std::string LocalDateAndTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear,
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  return text;
}

}  // namespace zindo

#ifndef ZINDO_PLATFORM_WINDOWS_WIN32_H_
#define ZINDO_PLATFORM_WINDOWS_WIN32_H_

// The Windows API as the -win32 files use it. Include this instead of
// <windows.h>: windows.h defines CreateDirectory, DeleteFile and MessageBox
// as macros for their ...A/...W functions, and Yield as nothing, which would
// silently rename the relay's own methods and classes of the same names in
// some files and not in others.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// windows.h first: these rely on its types.
#include <mmsystem.h>
#include <objbase.h>
#include <shellapi.h>

#undef CreateDirectory
#undef DeleteFile
#undef MessageBox
#undef Yield

#endif  // ZINDO_PLATFORM_WINDOWS_WIN32_H_

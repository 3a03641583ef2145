# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads,
# which std::thread and friends need). Everything links statically, so the
# programs need only the DLLs that come with Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZINDO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

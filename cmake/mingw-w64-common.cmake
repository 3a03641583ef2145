# What the mingw-w64 toolchain files share; they set ZINDO_MINGW_TRIPLET.
set(CMAKE_C_COMPILER ${ZINDO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZINDO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZINDO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZINDO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime and the threads library (winpthread) go into each .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

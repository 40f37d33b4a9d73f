# What both Windows toolchains share: MinGW-w64 (posix threads) for KN_MINGW_TRIPLE, linked
# statically, run under Wine. Included by mingw-w64-x86_64.cmake and mingw-w64-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${KN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables need no DLL beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# One 64-bit Wine prefix runs both architectures (the 32-bit side through Wine's WOW64).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

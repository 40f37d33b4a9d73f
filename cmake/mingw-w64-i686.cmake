# Cross-build for 32-bit Windows (x86) with Debian's MinGW-w64 (posix threads), run under
# Wine's 32-bit side in the same 64-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KN_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

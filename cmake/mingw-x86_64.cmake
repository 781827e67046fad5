# Cross toolchain for the 64-bit Windows module: MinGW-w64 x86-64 with POSIX threads.
# Test programs run under 64-bit Wine, in a prefix of their own, through tools/wine-env.sh.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KARVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(KARVEX_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)

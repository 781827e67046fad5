# Cross toolchain for the 32-bit Windows module: MinGW-w64 i686 with POSIX threads.
# Test programs run under 32-bit Wine through tools/wine-env.sh.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KARVEX_MINGW_PREFIX i686-w64-mingw32)
set(KARVEX_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)

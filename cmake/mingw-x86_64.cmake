# Cross toolchain for the 64-bit Windows module: MinGW-w64 x86-64 with POSIX threads.
# Test programs run under 64-bit Wine, in a prefix of their own, through tools/wine-env.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KARVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KARVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KARVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every .exe through 64-bit Wine; the wrapper keeps the prefix in the build tree.
get_filename_component(KARVEX_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(KARVEX_WINEARCH win64)
set(CMAKE_CROSSCOMPILING_EMULATOR env KARVEX_WINEARCH=win64 bash ${KARVEX_SOURCE_ROOT}/tools/wine-env.sh wine)

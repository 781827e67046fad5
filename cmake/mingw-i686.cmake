# Cross toolchain for the 32-bit Windows module: MinGW-w64 i686 with POSIX threads.
# Test programs run under Wine through tools/wine-env.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KARVEX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KARVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KARVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every .exe through Wine; the wrapper keeps a private prefix in the build tree.
get_filename_component(KARVEX_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${KARVEX_SOURCE_ROOT}/tools/wine-env.sh wine)

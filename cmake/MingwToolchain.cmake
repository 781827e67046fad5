# The part of the MinGW-w64 cross toolchains that both architectures share: the POSIX
# threads compilers of KARVEX_MINGW_PREFIX, its root for libraries and headers, and Wine
# (in the prefix of KARVEX_WINEARCH) to run the test programs. Included by
# mingw-i686.cmake and mingw-x86_64.cmake after they set those two variables.
set(CMAKE_SYSTEM_NAME Windows)
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
set(CMAKE_CROSSCOMPILING_EMULATOR
    env KARVEX_WINEARCH=${KARVEX_WINEARCH} bash ${KARVEX_SOURCE_ROOT}/tools/wine-env.sh wine)

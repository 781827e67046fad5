# The Windows release, a target of the 64-bit configuration: windows_release builds
# KarvexRAW-<version>-windows.zip in the build folder, holding both modules, each in a
# folder named for its hosts ("64-bit hosts", "32-bit hosts") and without its debugging
# information, the install note and the licence. The 32-bit module is built in KARVEX_WIN32_BUILD_DIR (configured there with
# the i686 toolchain when that folder has no build yet).
set(KARVEX_WIN32_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/win32" CACHE PATH
    "32-bit Windows build directory whose module goes into the release zip")
set(KARVEX_RELEASE_NAME KarvexRAW-${PROJECT_VERSION}-windows)
set(KARVEX_RELEASE_ZIP ${CMAKE_BINARY_DIR}/${KARVEX_RELEASE_NAME}.zip)
set(KARVEX_RELEASE_FILES ${CMAKE_BINARY_DIR}/release-files)

# Windows line ends, for Notepad on older systems.
configure_file(${PROJECT_SOURCE_DIR}/resources/release/INSTALL.txt.in ${KARVEX_RELEASE_FILES}/INSTALL.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${KARVEX_RELEASE_FILES}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)

add_custom_target(windows_release
  COMMAND ${CMAKE_COMMAND}
          -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DGENERATOR=${CMAKE_GENERATOR}
          -DBUILD_TYPE=${CMAKE_BUILD_TYPE}
          -DWIN32_BUILD_DIR=${KARVEX_WIN32_BUILD_DIR}
          -DMODULE64=$<TARGET_FILE:KarvexRAW>
          -DSTRIP64=${CMAKE_STRIP}
          -DFILES_DIR=${KARVEX_RELEASE_FILES}
          -DSTAGE_DIR=${CMAKE_BINARY_DIR}/release-stage
          -DNAME=${KARVEX_RELEASE_NAME}
          -DZIP=${KARVEX_RELEASE_ZIP}
          -P ${PROJECT_SOURCE_DIR}/cmake/MakeWindowsRelease.cmake
  DEPENDS KarvexRAW
  BYPRODUCTS ${KARVEX_RELEASE_ZIP}
  COMMENT "Building the Windows release ${KARVEX_RELEASE_NAME}.zip"
  VERBATIM)

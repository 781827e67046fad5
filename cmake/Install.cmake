# Installing the native tools (cmake --install build/native --prefix P) and the Debian
# package of them (cpack -G DEB, target 'package'):
#   bin/ekv, bin/ekv-make
#   share/man/man1/ekv.1.gz, ekv-make.1.gz   written by help2man from the programs' own
#                                            --help at build time
#   share/bash-completion/completions/ekv, ekv-make
#   share/mime/packages/ekv.xml              the image/x-karvex-ekv file type
#   share/thumbnailers/ekv.thumbnailer       thumbnails for file managers (ekv thumbnail -s)
#   share/doc/ekv/copyright, changelog.Debian.gz
include(GNUInstallDirs)

set(KARVEX_DEB_PACKAGE ekv)
set(KARVEX_DEB_VERSION "${PROJECT_VERSION}-1")
set(KARVEX_DEB_MAINTAINER "Karvex RAW developers <ekv@karvex.invalid>"
    CACHE STRING "The Maintainer of the Debian package")
set(KARVEX_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(KARVEX_PACKAGE_BUILD ${CMAKE_BINARY_DIR}/packaging)
set(KARVEX_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KARVEX_DEB_PACKAGE})

install(TARGETS ekv ekv-make RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# ---- manual pages ---------------------------------------------------------------------
find_program(KARVEX_HELP2MAN help2man)
if(KARVEX_HELP2MAN)
  set(KARVEX_MAN_PAGES)
  foreach(program ekv ekv-make)
    if(program STREQUAL "ekv")
      set(name_line "command-line host of the Karvex RAW File import module")
      set(extra --commands --see-also "ekv-make(1)")
    else()
      set(name_line "write Karvex EKV raw files for tests")
      set(extra --see-also "ekv(1)")
    endif()
    set(page ${KARVEX_PACKAGE_BUILD}/${program}.1.gz)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KARVEX_PACKAGE_BUILD}
      COMMAND ${Python3_EXECUTABLE} ${KARVEX_PACKAGING}/make_man_page.py $<TARGET_FILE:${program}> ${name_line}
              ${page} ${extra}
      DEPENDS ${program} ${KARVEX_PACKAGING}/make_man_page.py
      COMMENT "Writing the manual page ${program}(1) from its --help"
      VERBATIM)
    list(APPEND KARVEX_MAN_PAGES ${page})
  endforeach()
  add_custom_target(karvex_man_pages ALL DEPENDS ${KARVEX_MAN_PAGES})
  install(FILES ${KARVEX_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "Manual pages: not built (help2man not found); cmake --install installs none")
endif()

# ---- desktop integration --------------------------------------------------------------
install(FILES ${KARVEX_PACKAGING}/ekv.bash-completion DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
        RENAME ekv)
install(FILES ${KARVEX_PACKAGING}/ekv.bash-completion DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
        RENAME ekv-make)
install(FILES ${KARVEX_PACKAGING}/ekv-mime.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages RENAME ekv.xml)
install(FILES ${KARVEX_PACKAGING}/ekv.thumbnailer DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/thumbnailers)

# ---- copyright and changelog ----------------------------------------------------------
# The licence is the project's LICENSE file when there is one.
string(TIMESTAMP KARVEX_COPYRIGHT_YEARS "%Y" UTC)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  set(KARVEX_LICENSE_NAME "other")
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE KARVEX_LICENSE_TEXT)
  # Continuation lines of a copyright field: indented by one space, "." for blank lines.
  string(REGEX REPLACE "\n+$" "" KARVEX_LICENSE_TEXT "${KARVEX_LICENSE_TEXT}")
  string(REGEX REPLACE "\n\n" "\n.\n" KARVEX_LICENSE_TEXT "${KARVEX_LICENSE_TEXT}")
  string(REGEX REPLACE "\n" "\n " KARVEX_LICENSE_TEXT " ${KARVEX_LICENSE_TEXT}")
else()
  set(KARVEX_LICENSE_NAME "all-rights-reserved")
  set(KARVEX_LICENSE_TEXT " No licence has been published with these sources; all rights are reserved.")
endif()
configure_file(${KARVEX_PACKAGING}/copyright.in ${KARVEX_PACKAGE_BUILD}/copyright @ONLY)
string(TIMESTAMP KARVEX_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${KARVEX_PACKAGING}/changelog.Debian.in ${KARVEX_PACKAGE_BUILD}/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${KARVEX_PACKAGE_BUILD}/changelog.Debian.gz
  COMMAND gzip -9n -f -k ${KARVEX_PACKAGE_BUILD}/changelog.Debian
  DEPENDS ${KARVEX_PACKAGE_BUILD}/changelog.Debian
  VERBATIM)
add_custom_target(karvex_changelog ALL DEPENDS ${KARVEX_PACKAGE_BUILD}/changelog.Debian.gz)
install(FILES ${KARVEX_PACKAGE_BUILD}/copyright ${KARVEX_PACKAGE_BUILD}/changelog.Debian.gz DESTINATION ${KARVEX_DOC_DIR})

# ---- the Debian package ---------------------------------------------------------------
# Built from a configuration with the shared image libraries (-DKARVEX_STATIC_IMAGE_LIBS=OFF),
# so that Debian's security updates of libtiff, libpng and libjpeg reach ekv; the
# dependencies are what dpkg-shlibdeps finds the programs linked against.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KARVEX_DEB_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Karvex RAW developers")
set(CPACK_PACKAGE_CONTACT "${KARVEX_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line tools for Karvex EKV raw camera files")
set(CPACK_PACKAGE_DESCRIPTION
    "ekv loads the Karvex RAW File import module as an image editor loads an
Acquire plug-in and develops EKV raw files into 16-bit TIFF or PNG, writes
them as DNG for other raw converters, and prints their header, thumbnail and
preview. ekv-make writes EKV files of a test chart for tests.

The package also registers the image/x-karvex-ekv file type and a
thumbnailer, so that file managers show the thumbnail embedded in each file.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info")
include(CPack)

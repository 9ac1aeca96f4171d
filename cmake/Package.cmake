# SPDX-License-Identifier: MIT
# The Debian package (cpack -G DEB): one package, tarvex, of everything the
# install step installs, with its dependencies found by dpkg-shlibdeps and a
# shlibs file for libtarvex.so.10. Configure with -DCMAKE_INSTALL_PREFIX=/usr
# so that the library goes to the multiarch directory; scripts/package.sh
# does it all.
# A placeholder address: whoever publishes the package sets their own.
set(TARVEX_DEB_MAINTAINER "tarvex developers <tarvex@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARVEX_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "PNG to portable map converter, its reverse and their library")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
corvane reads a PNG image and writes it as a portable map (PBM, PGM or
PPM, raw or plain), or its alpha mask; belvane writes the smallest PNG
that converts back to exactly a given portable map.
.
libtarvex, the C library both are built on, reads and writes the portable
map formats and gives a program its start-up, messages, colour
specifications and colour tables. The package holds the shared and the
static library, the headers, a pkg-config file, a CMake package and the
section-3 manual.")
# Compresses the manual pages and turns the alias pages into symbolic links,
# as Debian's policy asks, once the files are staged.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebStage.cmake)
# The loader cache is refreshed by dpkg's ldconfig trigger. CPack also
# writes a postinst and a postrm that call ldconfig; a package's own scripts
# would stop that, but lintian refuses scripts that do nothing as well.
set(tarvex_control ${PROJECT_BINARY_DIR}/deb-control)
file(WRITE ${tarvex_control}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${tarvex_control}/triggers)

set(tarvex_doc ${PROJECT_BINARY_DIR}/deb-doc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb-copyright.in
               ${tarvex_doc}/copyright @ONLY)
install(FILES ${tarvex_doc}/copyright
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvex)
include(CPack)

# SPDX-License-Identifier: MIT
# The Debian packages (cpack -G DEB), split as Debian splits a library:
# libtarvex10 (the shared library), libtarvex-dev (headers, the .so link, the
# static library, tarvex.pc, the CMake package, the section-3 manual) and
# tarvex (the programs and their manuals). Configure with
# -DCMAKE_INSTALL_PREFIX=/usr so that the library goes to the multiarch
# directory; scripts/package.sh does it all.
# A placeholder address: whoever publishes the packages sets their own.
set(TARVEX_DEB_MAINTAINER "tarvex developers <tarvex@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

set(tarvex_lib_package libtarvex${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARVEX_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development programs)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Each package's description starts with its own summary line; a common
# summary would be put in front of all three.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${tarvex_lib_package})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The colour-name dictionary the library reads is x11-common's rgb.txt.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_RECOMMENDS x11-common)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "portable map library of the tarvex family
libtarvex reads and writes the portable map formats (PBM, PGM and PPM,
raw and plain) and gives a program of the family its start-up, common
options, messages, colour specifications and names, and colour tables.
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtarvex-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "${tarvex_lib_package} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "portable map library of the tarvex family (development files)
libtarvex reads and writes the portable map formats (PBM, PGM and PPM,
raw and plain) and gives a program of the family its start-up, common
options, messages, colour specifications and names, and colour tables.
.
This package holds the headers, the static library, a pkg-config file, a
CMake package and the section-3 manual.")

# The programs link the library statically, so they depend on no package
# of this source; they read the same colour-name dictionary.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME tarvex)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_RECOMMENDS x11-common)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "PNG to portable map converter and its reverse
corvane reads a PNG image and writes it as a portable map (PBM, PGM or
PPM, raw or plain), or its alpha mask, composited over a background or
corrected for gamma; belvane writes the smallest PNG that converts back to
exactly a given portable map.")

# Compresses the manual pages, turns the alias pages into symbolic links,
# writes each package's changelog and the library's symbols file, once the
# files are staged.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebStage.cmake)
set(CPACK_TARVEX_SYMBOLS_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/${tarvex_lib_package}.symbols)
set(CPACK_TARVEX_LIBRARY_PACKAGE ${tarvex_lib_package})
# The loader cache is refreshed by dpkg's ldconfig trigger. CPack also
# writes a postinst and a postrm that call ldconfig; a package's own scripts
# would stop that, but lintian refuses scripts that do nothing as well.
set(tarvex_control ${PROJECT_BINARY_DIR}/deb-control)
set(CPACK_TARVEX_CONTROL_DIR ${tarvex_control})
file(WRITE ${tarvex_control}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${tarvex_control}/triggers ${tarvex_control}/symbols)

configure_file(${CMAKE_CURRENT_LIST_DIR}/deb-copyright.in
               ${PROJECT_BINARY_DIR}/deb-doc/copyright @ONLY)
foreach(pair library:${tarvex_lib_package} development:libtarvex-dev
        programs:tarvex)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${PROJECT_BINARY_DIR}/deb-doc/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    COMPONENT ${component})
endforeach()
include(CPack)

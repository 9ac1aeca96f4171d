# SPDX-License-Identifier: MIT
# Installs the library, static and shared, with its headers under
# include/tarvex, its section-3 manual, a CMake package (tarvex::tarvex, the
# static library, and tarvex::tarvex_shared), a pkg-config file, and corvane
# and belvane with their manual pages.
include(CMakePackageConfigHelpers)

# The library lists its headers relative to lib/, but install(TARGETS) here
# resolves relative names against the top directory.
get_target_property(tarvex_headers tarvex PUBLIC_HEADER)
set(tarvex_header_paths)
foreach(header IN LISTS tarvex_headers)
  if(NOT IS_ABSOLUTE "${header}")
    set(header "${PROJECT_SOURCE_DIR}/lib/${header}")
  endif()
  list(APPEND tarvex_header_paths "${header}")
endforeach()
set_target_properties(tarvex PROPERTIES PUBLIC_HEADER "${tarvex_header_paths}")

# Components, one for each Debian package: library (the shared library
# alone), development (everything a program built on it needs) and
# programs (corvane and belvane with their manual pages).
install(TARGETS tarvex tarvex_shared EXPORT tarvexTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
    NAMELINK_COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvex
    COMPONENT development)
install(EXPORT tarvexTargets NAMESPACE tarvex::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvex COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tarvexConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvex)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tarvexConfig.cmake
              ${PROJECT_BINARY_DIR}/tarvexConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvex COMPONENT development)

# tarvex.pc is written when installing, so that it names the prefix actually
# installed to ("cmake --install --prefix"), not the one configured.
install(CODE "
  set(TARVEX_PC_TEMPLATE [[${CMAKE_CURRENT_LIST_DIR}/tarvex.pc.in]])
  set(TARVEX_PC_OUTPUT [[${PROJECT_BINARY_DIR}/tarvex.pc]])
  set(TARVEX_PC_LIBDIR [[${CMAKE_INSTALL_LIBDIR}]])
  set(TARVEX_PC_INCLUDEDIR [[${CMAKE_INSTALL_INCLUDEDIR}]])
  set(PROJECT_DESCRIPTION [[${PROJECT_DESCRIPTION}]])
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  include([[${CMAKE_CURRENT_LIST_DIR}/WritePkgConfig.cmake]])"
  COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/tarvex.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

foreach(program corvane belvane)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      COMPONENT programs)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/${program}.1
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
  endif()
endforeach()

# The library's manual: the pages of docs/man, and for every other name a
# page's NAME line gives, an alias page that sources it.
file(GLOB tarvex_man3 CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.3)
set(tarvex_man3_aliases)
foreach(page IN LISTS tarvex_man3)
  get_filename_component(page_name "${page}" NAME_WE)
  file(STRINGS "${page}" names REGEX "^[a-zA-Z_0-9, ]+ \\\\- ")
  list(GET names 0 names)
  string(REGEX REPLACE " \\\\- .*" "" names "${names}")
  string(REPLACE "," ";" names "${names}")
  foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    if(NOT name STREQUAL page_name)
      file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/man3/${name}.3
           CONTENT ".so man3/${page_name}.3\n" @ONLY)
      list(APPEND tarvex_man3_aliases ${PROJECT_BINARY_DIR}/man3/${name}.3)
    endif()
  endforeach()
endforeach()
install(FILES ${tarvex_man3} ${tarvex_man3_aliases}
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT development)
include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)

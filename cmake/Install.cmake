# Installs the library with its headers under include/tarvex, a CMake package
# (tarvex::tarvex) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS tarvex EXPORT tarvexTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvex)
install(EXPORT tarvexTargets NAMESPACE tarvex::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvex)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tarvexConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvex)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tarvexConfig.cmake
              ${PROJECT_BINARY_DIR}/tarvexConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvex)

configure_file(${CMAKE_CURRENT_LIST_DIR}/tarvex.pc.in
  ${PROJECT_BINARY_DIR}/tarvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarvex.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

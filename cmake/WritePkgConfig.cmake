# SPDX-License-Identifier: MIT
# Run at install time: writes tarvex.pc for CMAKE_INSTALL_PREFIX, which then
# holds the prefix being installed to. Relative directories are taken below
# the prefix, absolute ones as they are.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${TARVEX_PC_${kind}}")
    set(TARVEX_PC_FULL_${kind} "${TARVEX_PC_${kind}}")
  else()
    set(TARVEX_PC_FULL_${kind} "\${prefix}/${TARVEX_PC_${kind}}")
  endif()
endforeach()
configure_file("${TARVEX_PC_TEMPLATE}" "${TARVEX_PC_OUTPUT}" @ONLY)

# SPDX-License-Identifier: MIT
# The build date and user of the version report. string(TIMESTAMP) honours
# SOURCE_DATE_EPOCH, and a reproducible build names no user.
string(TIMESTAMP TARVEX_BUILD_DATE "%a %b %d %H:%M:%S UTC %Y" UTC)
# A day below 10 is padded with a blank, as date(1) writes it.
string(REGEX REPLACE "^([A-Za-z]+ [A-Za-z]+) 0" "\\1  " TARVEX_BUILD_DATE
       "${TARVEX_BUILD_DATE}")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TARVEX_BUILD_USER "reproducible")
elseif(DEFINED ENV{USER})
  set(TARVEX_BUILD_USER "$ENV{USER}")
elseif(DEFINED ENV{LOGNAME})
  set(TARVEX_BUILD_USER "$ENV{LOGNAME}")
else()
  set(TARVEX_BUILD_USER "unknown")
endif()
# The name goes into a C string literal.
string(REPLACE "\\" "\\\\" TARVEX_BUILD_USER "${TARVEX_BUILD_USER}")
string(REPLACE "\"" "\\\"" TARVEX_BUILD_USER "${TARVEX_BUILD_USER}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarvex_build.h.in
               ${PROJECT_BINARY_DIR}/generated/tarvex_build.h @ONLY)

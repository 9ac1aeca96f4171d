# The build date and user of the version report. string(TIMESTAMP) honours
# SOURCE_DATE_EPOCH, and a reproducible build names no user.
string(TIMESTAMP TARVEX_BUILD_DATE "%a %b %d %H:%M:%S UTC %Y" UTC)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TARVEX_BUILD_USER "reproducible")
elseif(DEFINED ENV{USER})
  set(TARVEX_BUILD_USER "$ENV{USER}")
elseif(DEFINED ENV{LOGNAME})
  set(TARVEX_BUILD_USER "$ENV{LOGNAME}")
else()
  set(TARVEX_BUILD_USER "unknown")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarvex_build.h.in
               ${PROJECT_BINARY_DIR}/generated/tarvex_build.h @ONLY)

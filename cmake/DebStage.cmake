# SPDX-License-Identifier: MIT
# Run by CPack on the staged files of each package before it builds the
# .debs: drops the sections that Debian strips besides the symbols, gzips
# every manual page (-9n: reproducible), turns each alias page
# (".so man3/x.3") into a symbolic link to the compressed page, writes each
# package's changelog, the library's symbols file and its lintian override.
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${stage}/*")
set(objects ${staged})
list(FILTER objects INCLUDE REGEX "/bin/[^/]+$|/libtarvex\\.so\\.[0-9.]+$|/libtarvex\\.a$")
foreach(object IN LISTS objects)
  # An archive keeps its symbol table: only its debugging sections go.
  set(strip_debug "")
  if(object MATCHES "\\.a$")
    set(strip_debug --strip-debug)
  endif()
  execute_process(COMMAND strip ${strip_debug} --remove-section=.comment
                          --remove-section=.note --enable-deterministic-archives
                          "${object}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip ${object} failed")
  endif()
endforeach()
set(pages ${staged})
list(FILTER pages INCLUDE REGEX "/share/man/man[0-9]/[^/]+\\.[0-9]$")
foreach(page IN LISTS pages)
  file(READ "${page}" text)
  if(text MATCHES "^\\.so man[0-9]/([^\n]+)\n$")
    file(REMOVE "${page}")
    file(CREATE_LINK "${CMAKE_MATCH_1}.gz" "${page}.gz" SYMBOLIC)
  else()
    execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip ${page} failed")
    endif()
  endif()
endforeach()

# A native package's changelog: one entry for the version packaged.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(GLOB doc_dirs "${stage}/*/usr/share/doc/*")
foreach(doc_dir IN LISTS doc_dirs)
  get_filename_component(package "${doc_dir}" NAME)
  file(WRITE "${doc_dir}/changelog"
"${package} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Package of tarvex ${CPACK_PACKAGE_VERSION}: corvane, belvane and libtarvex.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
  execute_process(COMMAND gzip -9nf "${doc_dir}/changelog")
endforeach()

# The symbols file, checked against the one kept with the sources: any
# symbol gained or lost stops the build (-c4), so an export never changes
# unnoticed.
set(library ${staged})
list(FILTER library INCLUDE REGEX "/libtarvex\\.so\\.[0-9]+\\.[0-9.]+$")
set(package ${CPACK_TARVEX_LIBRARY_PACKAGE})
execute_process(
  COMMAND dpkg-gensymbols -p${package} -v${CPACK_PACKAGE_VERSION} -c4 -q
          -e${library} -I${CPACK_TARVEX_SYMBOLS_TEMPLATE}
          -O${CPACK_TARVEX_CONTROL_DIR}/symbols
  WORKING_DIRECTORY "${stage}" RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the library's exports differ from "
                      "${CPACK_TARVEX_SYMBOLS_TEMPLATE}:\n${errors}")
endif()

# The one tag lintian gives by design, with the reason.
get_filename_component(library_dir "${library}" DIRECTORY)
string(REGEX REPLACE "/lib/[^/]+$" "" usr_dir "${library_dir}")
file(WRITE "${usr_dir}/share/lintian/overrides/${package}"
"# CPack's own postinst and postrm call ldconfig besides the ldconfig
# trigger the package declares; the extra call is harmless, and a package's
# own scripts, which would stop CPack writing them, would be empty.
${package}: maintscript-calls-ldconfig *
")

# SPDX-License-Identifier: MIT
# Run by CPack on the staged files before it builds the .deb: drops the
# sections that Debian strips besides the symbols, gzips every manual page
# (-9n: reproducible), turns each alias page (".so man3/x.3") into a
# symbolic link to the compressed page, and writes the changelog and the
# lintian overrides.
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(GLOB objects "${stage}/*/bin/*" "${stage}/*/lib/*/libtarvex.so.*.*"
                  "${stage}/*/lib/*/libtarvex.a")
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
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man*/*.[0-9]")
foreach(page IN LISTS pages)
  file(READ "${page}" text)
  if(text MATCHES "^\\.so man[0-9]/([^\n]+)\n$")
    get_filename_component(dir "${page}" DIRECTORY)
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
file(GLOB doc_dirs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/tarvex")
list(GET doc_dirs 0 doc_dir)
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc_dir}/changelog"
"tarvex (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Package of tarvex ${CPACK_PACKAGE_VERSION}: corvane, belvane and libtarvex.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
execute_process(COMMAND gzip -9nf "${doc_dir}/changelog")

# The tags lintian gives by design, each with the reason.
get_filename_component(share_dir "${doc_dir}" DIRECTORY)
get_filename_component(share_dir "${share_dir}" DIRECTORY)
file(WRITE "${share_dir}/lintian/overrides/tarvex"
"# One package holds the programs and the library, shared and static, as a
# single apt-get install asks; a libtarvex10 / libtarvex-dev split would
# make these two tags go.
tarvex: package-name-doesnt-match-sonames libtarvex10
tarvex: link-to-shared-library-in-wrong-package *
# CPack's own postinst and postrm call ldconfig besides the ldconfig
# trigger the package declares; the extra call is harmless.
tarvex: maintscript-calls-ldconfig *
")

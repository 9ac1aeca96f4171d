# SPDX-License-Identifier: MIT
# Installs the build tree into a fresh prefix, then proves the installation
# usable: the files are in place, man finds the manuals, pkg-config reports
# the prefix installed to, and C programs build and run against the shared
# and the static library, through find_package(tarvex) and through
# pkg-config (and, given PYTHON, a ctypes script reads a map through the
# shared library). The shared library exports exactly the names the
# section-3 pages document, and man finds a page for each. In a hardened
# build (the build tree's TARVEX_HARDENED) every installed program must also
# be a PIE with full RELRO and a stack protector or fortified calls.
# Inputs: BUILD_DIR, SOURCE_DIR, EXAMPLES_DIR, WORK_DIR, LIBDIR, CC, C_FLAGS,
# PKG_CONFIG, MAN, WITH_CORVANE, PYTHON (empty for a sanitized build, whose
# library no plain interpreter can load).
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
endfunction()

function(expect_file path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

# The programs: each installed with its manual page, and hardened.
set(programs corvane belvane)

# Fails unless `text` matches `regex`; `what` names the missing property.
function(expect_match text regex program what)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${program} is not hardened: ${what}")
  endif()
endfunction()

# Sets `var` to what readelf prints with `args` about `program`.
function(read_elf var readelf program)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                          "${readelf}" ${ARGN} "${program}"
                  OUTPUT_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf ${ARGN} ${program} failed (${status})")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

# The marks the hardening flags leave in an executable.
function(check_hardened readelf program)
  read_elf(header "${readelf}" "${program}" -h)
  read_elf(dynamic "${readelf}" "${program}" -d)
  read_elf(segments "${readelf}" "${program}" -lW)
  read_elf(symbols "${readelf}" "${program}" -W --dyn-syms)
  expect_match("${header}" "Type:[ \t]+DYN" "${program}" "not position-independent")
  expect_match("${dynamic}" "FLAGS_1[^\n]*PIE" "${program}" "no PIE flag")
  expect_match("${dynamic}" "BIND_NOW" "${program}" "no BIND_NOW (-z now)")
  expect_match("${segments}" "GNU_RELRO" "${program}" "no GNU_RELRO segment")
  expect_match("${symbols}" "__stack_chk_fail|__[a-z_]+_chk" "${program}"
               "neither stack protector nor fortified calls")
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

expect_file("${prefix}/include/tarvex/pnm.h")
expect_file("${prefix}/${LIBDIR}/cmake/tarvex/tarvexConfig.cmake")
expect_file("${prefix}/${LIBDIR}/pkgconfig/tarvex.pc")
if(WITH_CORVANE)
  foreach(program IN LISTS programs)
    expect_file("${prefix}/share/man/man1/${program}.1")
    run("${prefix}/bin/${program}" -quiet -version)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env "MANPATH=${prefix}/share/man"
                            "${MAN}" -w ${program}
                    OUTPUT_VARIABLE page OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT page STREQUAL "${prefix}/share/man/man1/${program}.1")
      message(FATAL_ERROR "man ${program} finds '${page}' under ${prefix}")
    endif()
  endforeach()
endif()

load_cache("${BUILD_DIR}" READ_WITH_PREFIX build_ TARVEX_HARDENED CMAKE_READELF)
if(build_TARVEX_HARDENED)
  if(NOT build_CMAKE_READELF)
    message(FATAL_ERROR "the build is hardened but has no readelf to check it")
  endif()
  foreach(program IN LISTS programs)
    if(EXISTS "${prefix}/bin/${program}")
      check_hardened("${build_CMAKE_READELF}" "${prefix}/bin/${program}")
    endif()
  endforeach()
endif()

# The exports of the shared library against the names of the section-3
# pages: each page's NAME line lists what it documents.
load_cache("${BUILD_DIR}" READ_WITH_PREFIX build_ CMAKE_NM)
set(library "${prefix}/${LIBDIR}/libtarvex.so")
execute_process(COMMAND "${build_CMAKE_NM}" -D --defined-only --format=posix
                        "${library}"
                OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm cannot read ${library}")
endif()
string(REGEX MATCHALL "(^|\n)[A-Za-z_0-9]+" exported "${out}")
list(TRANSFORM exported STRIP)
list(SORT exported)
file(GLOB pages "${prefix}/share/man/man3/*.3")
set(documented)
foreach(page IN LISTS pages)
  file(STRINGS "${page}" names REGEX "^[a-zA-Z_0-9, ]+ \\\\- ")
  if(names AND NOT page MATCHES "/libtarvex\\.3$")
    list(GET names 0 names)
    string(REGEX REPLACE " \\\\- .*" "" names "${names}")
    string(REGEX REPLACE ", *" ";" names "${names}")
    list(APPEND documented ${names})
  endif()
endforeach()
list(SORT documented)
if(NOT exported STREQUAL documented)
  set(undocumented ${exported})
  list(REMOVE_ITEM undocumented ${documented})
  set(missing ${documented})
  list(REMOVE_ITEM missing ${exported})
  message(FATAL_ERROR "exported without a page: ${undocumented}\n"
                      "documented but not exported: ${missing}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env "MANPATH=${prefix}/share/man"
                        "${MAN}" -w 3 libtarvex ${exported}
                OUTPUT_VARIABLE found ERROR_VARIABLE errors)
string(REGEX MATCHALL "${prefix}/share/man/man3/[^\n]+" found "${found}")
list(LENGTH found found_count)
list(LENGTH exported exported_count)
math(EXPR exported_count "${exported_count} + 1")
if(NOT found_count EQUAL exported_count)
  message(FATAL_ERROR "man finds ${found_count} of ${exported_count} pages:\n${errors}")
endif()

# C programs: each built four ways, and each way must give the same output.
set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
execute_process(COMMAND "${PKG_CONFIG}" --libs --cflags tarvex
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE status)
set(expected "-I${prefix}/include/tarvex -L${prefix}/${LIBDIR} -ltarvex")
if(NOT status EQUAL 0 OR NOT flags STREQUAL expected)
  message(FATAL_ERROR "pkg-config gives '${flags}', expected '${expected}'")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND "${PKG_CONFIG}" --libs --static tarvex
                OUTPUT_VARIABLE static_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(static_libs UNIX_COMMAND "${static_libs}")
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
set(consumer "${WORK_DIR}/consumer")
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/consumer" -B "${consumer}"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_C_COMPILER=${CC}"
    "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${C_FLAGS}"
    "-DEXAMPLES_DIR=${EXAMPLES_DIR}")
run(${CMAKE_COMMAND} --build "${consumer}")
foreach(program pnmcopy colors)
  if(program STREQUAL "pnmcopy")
    set(source "${EXAMPLES_DIR}/pnmcopy.c")
  else()
    set(source "${SOURCE_DIR}/consumer/colors.c")
  endif()
  run("${CC}" -std=c11 -pedantic -Wall -Wextra -Werror ${c_flags} "${source}"
      ${flags} -o "${consumer}/${program}_pc_shared")
  run("${CC}" -std=c11 -pedantic -Wall -Wextra -Werror ${c_flags} "${source}"
      "-I${prefix}/include/tarvex" -Wl,-Bstatic ${static_libs} -Wl,-Bdynamic
      -o "${consumer}/${program}_pc_static")
endforeach()

# The input: a plain PPM of three colours, two rows of three pixels.
set(map "${WORK_DIR}/map.ppm")
file(WRITE "${map}" "P3\n# three colours\n3 2\n255\n255 0 0  0 0 255  255 0 0\n0 0 255  1 2 3  255 0 0\n")
set(expected_copy "P3\n3 2\n255\n255 0 0  0 0 255  255 0 0\n0 0 255  1 2 3  255 0 0\n")
set(expected_colors "3 colours; red most (3 pixels)\n")
set(ENV{LD_LIBRARY_PATH} "${prefix}/${LIBDIR}")
set(ENV{RGBDEF} "${RGB_TXT}")
foreach(way shared static pc_shared pc_static)
  execute_process(COMMAND "${consumer}/pnmcopy_${way}" "${map}"
                  COMMAND "${consumer}/pnmcopy_${way}" -plain
                  OUTPUT_VARIABLE copy RESULTS_VARIABLE status)
  execute_process(COMMAND "${consumer}/colors_${way}" -quiet "${map}"
                  OUTPUT_VARIABLE colors RESULT_VARIABLE colors_status)
  if(NOT status STREQUAL "0;0" OR NOT copy STREQUAL expected_copy OR
     NOT colors_status EQUAL 0 OR NOT colors STREQUAL expected_colors)
    message(FATAL_ERROR "pnmcopy_${way} and colors_${way} gave (${status}) "
                        "'${copy}' and (${colors_status}) '${colors}'")
  endif()
  # Only the shared builds load libtarvex.
  read_elf(dynamic "${build_CMAKE_READELF}" "${consumer}/pnmcopy_${way}" -d)
  if(way MATCHES "shared" AND NOT dynamic MATCHES "NEEDED[^\n]*libtarvex\\.so\\.")
    message(FATAL_ERROR "pnmcopy_${way} does not load the shared library")
  elseif(NOT way MATCHES "shared" AND dynamic MATCHES "libtarvex")
    message(FATAL_ERROR "pnmcopy_${way} loads the shared library")
  endif()
endforeach()

if(PYTHON)
  execute_process(COMMAND "${PYTHON}" "${SOURCE_DIR}/read_map.py"
                          "${library}" "${map}"
                  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT out STREQUAL "3 x 2, maxval 255: 255 0 0 ... 255 0 0\n")
    message(FATAL_ERROR "the ctypes check gave (${status}) '${out}'")
  endif()
endif()

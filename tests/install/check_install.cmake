# Installs the build tree into a fresh prefix, then proves the installation
# usable: the files are in place, a consumer project builds and runs through
# find_package(tarvex), man finds the manual, and pkg-config reports the
# prefix installed to. In a hardened build (the build tree's TARVEX_HARDENED)
# every installed program must also be a PIE with full RELRO and a stack
# protector or fortified calls.
# Inputs: BUILD_DIR, SOURCE_DIR, WORK_DIR, LIBDIR, CXX, CXX_FLAGS, PKG_CONFIG,
# WITH_CORVANE.
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
  find_program(man_program man)
  foreach(program IN LISTS programs)
    expect_file("${prefix}/share/man/man1/${program}.1")
    run("${prefix}/bin/${program}" -quiet -version)
    if(man_program)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env "MANPATH=${prefix}/share/man"
                              "${man_program}" -w ${program}
                      OUTPUT_VARIABLE page OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT page STREQUAL "${prefix}/share/man/man1/${program}.1")
        message(FATAL_ERROR "man ${program} finds '${page}' under ${prefix}")
      endif()
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

run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/consumer" -B "${WORK_DIR}/consumer"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}"
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/consumer")
run("${WORK_DIR}/consumer/consumer")

set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
execute_process(COMMAND "${PKG_CONFIG}" --libs --cflags tarvex
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE status)
set(expected "-I${prefix}/include/tarvex -L${prefix}/${LIBDIR} -ltarvex")
if(NOT status EQUAL 0 OR NOT flags STREQUAL expected)
  message(FATAL_ERROR "pkg-config gives '${flags}', expected '${expected}'")
endif()

# Installs the build tree into a fresh prefix, then proves the installation
# usable: the files are in place, a consumer project builds and runs through
# find_package(tarvex), man finds the manual, and pkg-config reports the
# prefix installed to.
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

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

expect_file("${prefix}/include/tarvex/pnm.h")
expect_file("${prefix}/${LIBDIR}/cmake/tarvex/tarvexConfig.cmake")
expect_file("${prefix}/${LIBDIR}/pkgconfig/tarvex.pc")
if(WITH_CORVANE)
  expect_file("${prefix}/share/man/man1/corvane.1")
  run("${prefix}/bin/corvane" -quiet -version)
  find_program(man_program man)
  if(man_program)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env "MANPATH=${prefix}/share/man"
                            "${man_program}" -w corvane
                    OUTPUT_VARIABLE page OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT page STREQUAL "${prefix}/share/man/man1/corvane.1")
      message(FATAL_ERROR "man corvane finds '${page}' under ${prefix}")
    endif()
  endif()
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

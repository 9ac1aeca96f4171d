# SPDX-License-Identifier: MIT
# The usual hardening of programs that read untrusted files: stack
# protector, fortified libc calls (optimised builds), control-flow protection
# where the compiler has it, position-independent executables and a read-only
# relocation table bound at start-up. Included before the project's folders,
# so that every target they add gets it. Sets TARVEX_HARDENED (cached, for the
# installation test) to whether the flags are in force.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

# The sanitizer and fuzzer builds keep their own instrumentation only.
if(NOT TARVEX_HARDENING OR TARVEX_SANITIZE OR TARVEX_BUILD_FUZZERS)
  set(TARVEX_HARDENED OFF CACHE INTERNAL "Hardening flags in force")
  return()
endif()

check_cxx_compiler_flag(-fstack-protector-strong TARVEX_HAVE_STACK_PROTECTOR)
check_cxx_compiler_flag(-fcf-protection TARVEX_HAVE_CF_PROTECTION)
check_linker_flag(CXX LINKER:-z,relro TARVEX_HAVE_RELRO)
check_linker_flag(CXX LINKER:-z,now TARVEX_HAVE_BIND_NOW)

if(TARVEX_HAVE_STACK_PROTECTOR)
  add_compile_options(-fstack-protector-strong)
endif()
if(TARVEX_HAVE_CF_PROTECTION)
  add_compile_options(-fcf-protection)
endif()
# glibc's fortified calls need optimisation (and warn without it). The level
# is set afresh, since some compilers predefine one; a level given in
# CMAKE_CXX_FLAGS is the builder's choice and stays.
if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
  set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
  add_compile_options($<${optimised}:-U_FORTIFY_SOURCE>
                      $<${optimised}:-D_FORTIFY_SOURCE=2>)
endif()

# Executables are linked as PIE, and the static library compiled to fit in
# them (or in a shared object).
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(TARVEX_HAVE_RELRO)
  add_link_options(LINKER:-z,relro)
endif()
if(TARVEX_HAVE_BIND_NOW)
  add_link_options(LINKER:-z,now)
endif()

set(TARVEX_HARDENED ON CACHE INTERNAL "Hardening flags in force")

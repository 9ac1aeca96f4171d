# SPDX-License-Identifier: MIT
# AddressSanitizer and UndefinedBehaviorSanitizer for every target, with
# undefined behaviour made fatal so that a test run fails on it.
set(TARVEX_SANITIZER_FLAGS
    -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
add_compile_options(${TARVEX_SANITIZER_FLAGS})
add_link_options(${TARVEX_SANITIZER_FLAGS})

# libFuzzer targets (fuzz/): clang only. Everything is built with the fuzzer's coverage instrumentation
# and AddressSanitizer and UBSan; the targets link the fuzzer's main.
if(NOT VARNOK_FUZZ)
    return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VARNOK_FUZZ needs clang (for example -DCMAKE_CXX_COMPILER=clang++)")
endif()
if(VARNOK_SANITIZE)
    message(FATAL_ERROR "VARNOK_FUZZ brings its own sanitizers; leave VARNOK_SANITIZE off")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
enable_testing()

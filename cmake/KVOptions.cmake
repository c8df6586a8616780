# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic)
if(KV_WERROR)
    add_compile_options(-Werror)
endif()

if(KV_SANITIZE)
    set(kv_san_flags -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${kv_san_flags})
    add_link_options(${kv_san_flags})
endif()

if(KV_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "KV_FUZZ needs clang's libFuzzer: configure a separate build with "
                            "CC=clang CXX=clang++ (Debian packages clang and libclang-rt-14-dev)")
    endif()
    # Every library is instrumented for coverage; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

message(STATUS "KV options: sanitizers=${KV_SANITIZE} werror=${KV_WERROR} tests=${KV_TESTS} bench=${KV_BENCH} gui=${KV_GUI} fuzz=${KV_FUZZ} build=${CMAKE_BUILD_TYPE}")

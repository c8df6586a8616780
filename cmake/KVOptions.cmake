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

message(STATUS "KV options: sanitizers=${KV_SANITIZE} werror=${KV_WERROR} bench=${KV_BENCH} gui=${KV_GUI} build=${CMAKE_BUILD_TYPE}")

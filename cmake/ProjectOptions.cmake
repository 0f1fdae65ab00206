# kv_options: every target of ours links it. It carries the language level, the warnings
# (errors on our code only) and the sanitizer flags of a sanitizer build.
add_library(kv_options INTERFACE)
target_compile_features(kv_options INTERFACE cxx_std_20)
set_target_properties(kv_options PROPERTIES INTERFACE_CXX_EXTENSIONS OFF)
if(MSVC)
  target_compile_options(kv_options INTERFACE /W4 /WX)
else()
  target_compile_options(kv_options INTERFACE -Wall -Wextra -Wpedantic -Werror)
endif()

if(KV_SANITIZE STREQUAL "address")
  target_compile_options(kv_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(kv_options INTERFACE -fsanitize=address,undefined)
elseif(KV_SANITIZE STREQUAL "thread")
  target_compile_options(kv_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(kv_options INTERFACE -fsanitize=thread)
elseif(NOT KV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KV_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Fuzz targets: libFuzzer on top of whatever sanitizer is chosen.
if(KV_BUILD_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KV_BUILD_FUZZ needs clang")
endif()

include_guard(GLOBAL)

if(KQA_SANITIZE STREQUAL "address")
  set(_kqa_san -fsanitize=address,undefined -fno-sanitize-recover=undefined
               -fno-omit-frame-pointer)
elseif(KQA_SANITIZE STREQUAL "thread")
  set(_kqa_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT KQA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KQA_SANITIZE must be empty, address or thread")
endif()

if(_kqa_san)
  add_compile_options(${_kqa_san})
  add_link_options(${_kqa_san})
endif()

# Fuzz builds (clang only): every library is instrumented for libFuzzer's
# coverage and built with address and undefined-behaviour checks; the fuzz
# targets link libFuzzer itself (-fsanitize=fuzzer).
if(KQA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KQA_FUZZ needs clang: CC=clang CXX=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

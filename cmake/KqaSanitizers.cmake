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

# KQA_FUZZ (clang only): every target gets libFuzzer's coverage
# instrumentation and the address and undefined-behaviour checks; the fuzz
# targets of kqa_fuzz_target also link libFuzzer's main. Configure with
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKQA_FUZZ=ON \
#     -DKQA_BUILD_GUI=OFF -DKQA_BUILD_BENCHMARKS=OFF
if(KQA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KQA_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  if(NOT KQA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "KQA_FUZZ brings its own sanitizers; leave KQA_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

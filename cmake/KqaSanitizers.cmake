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

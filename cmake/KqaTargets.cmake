# Helpers that give every layer its own library and make the layering a
# property of the build rather than a convention.
#
# A library's headers are reached as "<its folder>/<file>.h", e.g.
# "platform/clock/clock.h". The folder is not on a shared include path: each
# library gets a private include root in the build tree holding one symbolic
# link to its own folder, and that root is passed on only to the targets that
# link the library. Including a header of a layer you do not link therefore
# fails to compile.

include_guard(GLOBAL)

set(KQA_INCLUDE_ROOTS "${CMAKE_BINARY_DIR}/include-roots")

function(_kqa_include_root target folder out_var)
  set(root "${KQA_INCLUDE_ROOTS}/${target}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  if(NOT EXISTS "${root}/${folder}")
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  set(${out_var} "${root}" PARENT_SCOPE)
endfunction()

function(_kqa_folder out_var)
  file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
  set(${out_var} "${rel}" PARENT_SCOPE)
endfunction()

# kqa_library(<name> [QT] [FOLDER <path>] SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
#   FOLDER defaults to the calling CMakeLists' folder. Libraries without
#   sources become INTERFACE libraries (header-only). QT runs moc/uic on the
#   sources; only views may say it.
function(kqa_library name)
  cmake_parse_arguments(ARG "QT" "FOLDER" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  if(NOT ARG_FOLDER)
    _kqa_folder(ARG_FOLDER)
  endif()
  _kqa_include_root(${name} "${ARG_FOLDER}" root)
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC "${root}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS} kqa_warnings)
    if(ARG_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${root}")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kqa_executable(<name> [QT] SOURCES ... DEPS ...)
function(kqa_executable name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kqa_warnings)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  endif()
endfunction()

# kqa_test(<name> [QT] [TSAN] SOURCES ... DEPS ... [LABELS ...])
#   GoogleTest executables; QT tests are Qt Test executables run on the
#   offscreen platform. TSAN marks a test that the thread-sanitizer build runs
#   (the driver, the USB back ends, the kernel primitives and the emulated
#   chip); that build adds nothing else.
function(kqa_test name)
  cmake_parse_arguments(ARG "QT;TSAN" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  if(KQA_SANITIZE STREQUAL "thread" AND NOT ARG_TSAN)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kqa_warnings)
  set(labels unit ${ARG_LABELS})
  if(ARG_TSAN)
    list(APPEND labels tsan)
  endif()
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      LABELS "qt;${labels}" TIMEOUT ${ARG_TIMEOUT})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()

# kqa_layering_probe(<name> SOURCE <file> DEPS ...)
#   A target that must NOT compile: it includes a header of a layer it does
#   not link. A test builds it and passes only when the build fails, so the
#   layering cannot silently erode.
function(kqa_layering_probe name)
  cmake_parse_arguments(ARG "" "SOURCE" "DEPS" ${ARGN})
  add_library(${name} OBJECT EXCLUDE_FROM_ALL ${ARG_SOURCE})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target ${name})
  # Pass only on the compiler's "missing header" error, so that an unrelated
  # fault in the probe cannot pass for enforcement.
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "No such file or directory"
    RESOURCE_LOCK build-tree LABELS "layering")
endfunction()

# kqa_fuzz_target(<name> SOURCES ... DEPS ... CORPUS <folder> [TSAN])
#   A libFuzzer target: SOURCES define LLVMFuzzerTestOneInput. Every build
#   gets <name>_replay and a test that replays the committed corpus; with
#   KQA_FUZZ (clang) the fuzzer <name> itself is built as well:
#     build-fuzz/.../<name> -max_total_time=600 <corpus>
function(kqa_fuzz_target name)
  cmake_parse_arguments(ARG "TSAN" "CORPUS" "SOURCES;DEPS" ${ARGN})
  if(KQA_SANITIZE STREQUAL "thread" AND NOT ARG_TSAN)
    return()
  endif()
  add_executable(${name}_replay ${ARG_SOURCES} "${PROJECT_SOURCE_DIR}/cmake/fuzz_replay_main.cpp")
  target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS} kqa_warnings)
  add_test(NAME ${name}_corpus COMMAND ${name}_replay "${ARG_CORPUS}")
  set(labels unit fuzz)
  if(ARG_TSAN)
    list(APPEND labels tsan)
  endif()
  set_tests_properties(${name}_corpus PROPERTIES LABELS "${labels}" TIMEOUT 300)
  if(KQA_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} kqa_warnings)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endif()
endfunction()

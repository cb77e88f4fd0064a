# Shared build helpers for every room.

if(QM_SANITIZE STREQUAL "address")
  set(QM_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
elseif(QM_SANITIZE STREQUAL "thread")
  set(QM_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
else()
  set(QM_SAN_FLAGS "")
endif()
if(QM_SAN_FLAGS)
  # Everything, third-party code built here included, carries the sanitizer.
  add_compile_options(${QM_SAN_FLAGS})
  add_link_options(${QM_SAN_FLAGS})
endif()

if(QM_FUZZ)
  # As in the asan preset, undefined behaviour stops the run (and so fails CI) instead of being
  # printed and forgotten.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()

# Warnings are errors in our own code (not in third-party code built alongside).
function(qm_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# qm_gtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One test program per room; its tests are discovered by ctest under the program's room name
# ("ui.", "window.", ...), so `ctest -R '^ui\.'` runs one room's tests.
function(qm_gtest name)
  if(NOT QM_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  qm_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QM_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(props "")
  if(ARG_LABELS)
    set(props PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  string(REGEX REPLACE "_tests$" "" room ${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${room}." ${props})
endfunction()

# qm_benchmark(<name> SOURCES <files...> LIBS <targets...>)
function(qm_benchmark name)
  if(NOT QM_BENCH OR QM_SAN_FLAGS OR QM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  qm_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# qm_fuzzer(<name> SOURCES <files...> LIBS <targets...>): built only in the fuzz preset.
# CI runs every fuzz_* program briefly on the seeds in fuzz/corpus/<name without fuzz_>/.
function(qm_fuzzer name)
  if(NOT QM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  qm_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  # `fuzzers` builds every fuzz target (and only what they need).
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
endfunction()

# qm_library(<name> SOURCES <files...> INCLUDE <dir> [PUBLIC_LIBS <targets...>] [PRIVATE_LIBS <targets...>])
# A room's static library. A room without sources is a configure error.
function(qm_library name)
  cmake_parse_arguments(ARG "" "INCLUDE" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    qm_target_defaults(${name})
    if(ARG_INCLUDE)
      target_include_directories(${name} PUBLIC ${ARG_INCLUDE})
    endif()
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  else()
    message(FATAL_ERROR "${name}: no source files")
  endif()
endfunction()

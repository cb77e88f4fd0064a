# The swap helper's command-line paths (it may run with more rights than its caller).
qm_fuzzer(fuzz_swap_helper_paths SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/swap_helper_paths.cpp
  ${PROJECT_SOURCE_DIR}/swap-helper/src/QuillomancerUpdaterHelper.cpp
  ${PROJECT_SOURCE_DIR}/swap-helper/src/TreeOps.cpp)
if(TARGET fuzz_swap_helper_paths)
  target_include_directories(fuzz_swap_helper_paths PRIVATE ${PROJECT_SOURCE_DIR}/swap-helper/src)
endif()

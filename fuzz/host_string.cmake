# Host strings: texts the host hands over are read as numbers and edited by position.
qm_fuzzer(fuzz_host_string SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host_string.cpp LIBS qm_framework)

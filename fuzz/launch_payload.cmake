qm_fuzzer(fuzz_launch_payload SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/launch_payload.cpp LIBS qm_updater_core)

# Repair plans as the window writes them into the custom-data store (at most 16,383 bytes).
qm_fuzzer(fuzz_repair_plan SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/repair_plan.cpp LIBS qm_engine)

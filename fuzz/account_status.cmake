qm_fuzzer(fuzz_account_status SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/account_status.cpp LIBS qm_engine_client)

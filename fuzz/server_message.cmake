qm_fuzzer(fuzz_server_message SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/server_message.cpp LIBS qm_settings)

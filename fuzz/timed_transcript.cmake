qm_fuzzer(fuzz_timed_transcript SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/timed_transcript.cpp LIBS qm_engine_client)

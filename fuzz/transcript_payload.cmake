qm_fuzzer(fuzz_transcript_payload SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transcript_payload.cpp LIBS qm_editor)

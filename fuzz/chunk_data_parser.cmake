# Saved-state chunk bodies as the host hands them back (sessions are outside input).
qm_fuzzer(fuzz_chunk_data_parser SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/chunk_data_parser.cpp LIBS qm_framework)

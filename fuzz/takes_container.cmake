# The generate answer's takes container and its JSON timing trailer.
qm_fuzzer(fuzz_takes_container SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/takes_container.cpp LIBS qm_engine_client)

# The JSON bodies the service stand-in's endpoints read (account status, refund, vote, log, event).
qm_fuzzer(fuzz_service_json_bodies SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/service_json_bodies.cpp LIBS qm_service)

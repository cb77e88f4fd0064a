# Signature envelopes beside the programs the plug-in starts.
qm_fuzzer(fuzz_code_signature SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/code_signature.cpp LIBS qm_platform)

# Plug-in modules the host stand-in is asked to load, judged before the system loader maps them.
qm_fuzzer(fuzz_module_header SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/module_header.cpp LIBS qm_fakehost)

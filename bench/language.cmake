# The window's language-tag scan, run on the editor text at every host timer call.
qm_benchmark(bench_language SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/language.cpp LIBS qm_plugin_common)

# The transcript editor at the 200-unit limit: one keystroke in the diff display, a full
# rebuild of the display, the offset queries and the pass that re-applies the picks' highlights.
qm_benchmark(bench_editor_view SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/editor_view.cpp LIBS qm_editor)

# Editor hot paths at the 200-unit text limit: the word diff and the token alignment, each in its
# worst case (no common words), with all words common, and with one word changed.
qm_benchmark(bench_editor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/editor.cpp LIBS qm_editor)

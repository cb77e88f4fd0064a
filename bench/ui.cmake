# Toolkit hot paths: rendering the gallery's densest page and a hit test through a deep tree.
qm_benchmark(bench_ui SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ui.cpp LIBS qm_common_gallery)

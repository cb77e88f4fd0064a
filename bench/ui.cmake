# Toolkit hot paths: rendering the gallery's densest page and a hit test through a deep tree.
if(TARGET qm_plugin_common)
  qm_benchmark(bench_ui SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ui.cpp ${PROJECT_SOURCE_DIR}/plugin/common/gallery/QMCommonGallery.cpp
    LIBS qm_ui_render qm_plugin_common)
endif()

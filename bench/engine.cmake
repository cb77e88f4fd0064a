# Engine hot paths: the analysis pass's mono mix, the render pass, and the time from loading the
# bundle to a registered description.
qm_benchmark(bench_engine SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine.cpp LIBS qm_engine qm_fakehost)
if(TARGET bench_engine AND TARGET Quillomancer)
  add_dependencies(bench_engine Quillomancer)
  target_compile_definitions(bench_engine PRIVATE QM_BUNDLE_PATH="$<TARGET_FILE:Quillomancer>")
  target_link_libraries(bench_engine PRIVATE ${CMAKE_DL_LIBS})
endif()

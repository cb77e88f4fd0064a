# Service payload formats: upload WAV encoding, takes container decoding and resampling,
# each beside a memcpy of the same bytes.
qm_benchmark(bench_formats SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/formats.cpp LIBS qm_engine_client)

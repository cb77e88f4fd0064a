# The window's timer call in a steady state: the plain display at the 200-unit limit, and the diff
# display of a 30-word transcript with two repair picks.
qm_benchmark(bench_window SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/window.cpp LIBS qm_window qm_fakehost)

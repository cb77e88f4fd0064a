# SHA-256 of a 512 MiB file and a loopback HTTPS download of it, each timed beside the
# command-line tool that does the same job (openssl dgst, curl).
qm_benchmark(bench_updater SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/updater.cpp LIBS qm_updater_core PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto)
# Its JSON report parses and carries the comparisons (the hash rows only: the downloads take long),
# on a small package so that CI writes no half gigabyte (run by hand it keeps its 512 MiB).
if(TARGET bench_updater AND QM_TESTS)
  add_test(NAME bench.updater_json
    COMMAND sh -c "\"$0\" --package-mib=8 --benchmark_format=json --benchmark_filter=Sha256 | python3 \"$1\""
      $<TARGET_FILE:bench_updater> ${CMAKE_CURRENT_SOURCE_DIR}/check_updater_json.py)
endif()

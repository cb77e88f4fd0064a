# SHA-256 of a 512 MiB file and a loopback HTTPS download of it, each timed beside the
# command-line tool that does the same job (openssl dgst, curl).
qm_benchmark(bench_updater SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/updater.cpp LIBS qm_updater_core PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto)

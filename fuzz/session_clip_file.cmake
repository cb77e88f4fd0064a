# WAV files a session puts on the host stand-in's timeline, read from disk as the host reads them.
qm_fuzzer(fuzz_session_clip_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/session_clip_file.cpp LIBS qm_fakehost)

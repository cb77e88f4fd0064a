# WAV files a session puts on the host stand-in's timeline (any file the user names).
qm_fuzzer(fuzz_session_clip SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/session_clip.cpp LIBS qm_fakehost)

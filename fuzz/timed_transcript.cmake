qm_fuzzer(fuzz_timed_transcript SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/timed_transcript.cpp LIBS qm_engine_client)
if(TARGET fuzz_timed_transcript)
  # The client's own JSON answer readers.
  target_include_directories(fuzz_timed_transcript PRIVATE ${PROJECT_SOURCE_DIR}/plugin/engine/src/client)
endif()

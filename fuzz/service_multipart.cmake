# The service stand-in's multipart reader (uploads of audio and fields).
qm_fuzzer(fuzz_service_multipart SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/service_multipart.cpp LIBS qm_service)
if(TARGET fuzz_service_multipart)
  target_include_directories(fuzz_service_multipart PRIVATE ${PROJECT_SOURCE_DIR}/service/src)
endif()

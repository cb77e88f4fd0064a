# The service stand-in's count of a request's head, checked against cpp-httplib's own reading.
qm_fuzzer(fuzz_service_header_count SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/service_header_count.cpp LIBS qm_service)
if(TARGET fuzz_service_header_count)
  target_include_directories(fuzz_service_header_count PRIVATE ${PROJECT_SOURCE_DIR}/service/src)
endif()

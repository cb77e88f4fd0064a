# The service stand-in's account desk and its JSON reading, in process (fast; see service_json_bodies).
qm_fuzzer(fuzz_service_account_desk SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/service_account_desk.cpp LIBS qm_service)
if(TARGET fuzz_service_account_desk)
  target_include_directories(fuzz_service_account_desk PRIVATE ${PROJECT_SOURCE_DIR}/service/src)
endif()

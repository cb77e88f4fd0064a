# Debian 12 packages (installed by scripts/deps).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo)

if(QM_TESTS)
  include(GoogleTest)
  # Build GoogleTest from Debian's sources so that it carries the same sanitizer as our code.
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    # googletest 1.12 defines the GTest:: aliases itself.
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(QM_BENCH AND NOT QM_SAN_FLAGS AND NOT QM_FUZZ)
  find_package(benchmark REQUIRED)
endif()

# Native build: the portable code against the substitute platform, with the
# unit tests (or, with HOSTLENS_FUZZ, the fuzz targets).

add_library(hostlens_portable STATIC ${HOSTLENS_PORTABLE_SOURCES})
target_include_directories(hostlens_portable PUBLIC ${HOSTLENS_INCLUDES})
target_compile_definitions(hostlens_portable PUBLIC HOSTLENS_STATIC ${HOSTLENS_DEFINES})

file(GLOB HOSTLENS_FAKE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fake/*.cpp)
add_library(hostlens_fake OBJECT ${HOSTLENS_FAKE_SOURCES})
target_include_directories(hostlens_fake PUBLIC ${CMAKE_SOURCE_DIR}/tests/fake ${HOSTLENS_INCLUDES})
target_compile_definitions(hostlens_fake PUBLIC HOSTLENS_STATIC ${HOSTLENS_DEFINES})

if(HOSTLENS_FUZZ)
  include(cmake/fuzz.cmake)
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB HOSTLENS_UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(hostlens_unit_tests ${HOSTLENS_UNIT_SOURCES} $<TARGET_OBJECTS:hostlens_fake>)
target_compile_definitions(hostlens_unit_tests PRIVATE HOSTLENS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_include_directories(hostlens_unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit
  ${HOSTLENS_JSON_INCLUDE})
target_link_libraries(hostlens_unit_tests PRIVATE hostlens_portable hostlens_fake GTest::gtest
  Threads::Threads)
find_package(Threads REQUIRED)
gtest_discover_tests(hostlens_unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
# GoogleTest and nlohmann/json are most of each test file's compile time.
target_precompile_headers(hostlens_unit_tests PRIVATE <string> <vector> <gtest/gtest.h>
  <nlohmann/json.hpp>)

# Every document of the portable library over the fake, held against the
# schemas.
include(cmake/schema.cmake)
add_executable(hostlens_fake_documents ${CMAKE_SOURCE_DIR}/tests/schema/fake_documents.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/machine.cpp $<TARGET_OBJECTS:hostlens_fake>)
target_include_directories(hostlens_fake_documents PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(hostlens_fake_documents PRIVATE hostlens_portable hostlens_fake
  Threads::Threads)
hostlens_schema_test(schema.fake_documents MUTATE populated fail:http_begin
  COMMAND $<TARGET_FILE:hostlens_fake_documents>)

include(cmake/bench.cmake)

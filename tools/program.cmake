# The hostlens program's tests. Its portable parts (the summary, the
# Prometheus writer, the live view and the collection) are also built natively and fed documents from the
# substitute platform; under Wine, scripts run the real program in a
# terminal, through pipes, into a full device and from a fresh clone.
set(HOSTLENS_TOOL_PORTABLE ${CMAKE_SOURCE_DIR}/tools/hostlens/summary.cpp
  ${CMAKE_SOURCE_DIR}/tools/hostlens/text_width.cpp ${CMAKE_SOURCE_DIR}/tools/hostlens/watch_view.cpp
  ${CMAKE_SOURCE_DIR}/tools/hostlens/prometheus.cpp ${CMAKE_SOURCE_DIR}/tools/hostlens/collect.cpp
  ${CMAKE_SOURCE_DIR}/tools/hostlens/modules.cpp)

if(NOT WIN32 AND NOT HOSTLENS_FUZZ)
  file(GLOB HOSTLENS_TOOL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/program/*.cpp)
  add_executable(hostlens_tool_tests ${HOSTLENS_TOOL_TEST_SOURCES} ${HOSTLENS_TOOL_PORTABLE}
    ${CMAKE_SOURCE_DIR}/tests/unit/main.cpp ${CMAKE_SOURCE_DIR}/tests/unit/machine.cpp
    $<TARGET_OBJECTS:hostlens_fake>)
  target_include_directories(hostlens_tool_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/hostlens
    ${CMAKE_SOURCE_DIR}/tests/unit ${HOSTLENS_JSON_INCLUDE})
  target_link_libraries(hostlens_tool_tests PRIVATE hostlens_portable hostlens_fake GTest::gtest
    Threads::Threads)
  gtest_discover_tests(hostlens_tool_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  target_precompile_headers(hostlens_tool_tests PRIVATE <string> <vector> <gtest/gtest.h>
    <nlohmann/json.hpp>)
endif()

if(CMAKE_CROSSCOMPILING)
  foreach(case console prometheus write_failure watch_json watch_console)
    add_test(NAME program.${case}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/program/wine_cases.sh ${case} ${CMAKE_BINARY_DIR})
    set_tests_properties(program.${case} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_prefix)
  endforeach()
  # Builds a clone of the committed tree: minutes on a loaded machine.
  add_test(NAME program.first_run
    COMMAND ${CMAKE_SOURCE_DIR}/tests/program/wine_cases.sh first_run ${CMAKE_BINARY_DIR})
  set_tests_properties(program.first_run PROPERTIES TIMEOUT 1800 RESOURCE_LOCK wine_prefix)
endif()

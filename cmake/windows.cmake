# Windows build: hostlens.dll over the Win32 side of the port, the host
# program, and the integration tests that load the real DLL.
file(GLOB HOSTLENS_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)

# Every source but the public IP collector is the same in each build of the
# DLL, so it is compiled once; the builds differ only in the public IP
# service they ask.
enable_language(RC)
set(HOSTLENS_IP_SOURCE ${CMAKE_SOURCE_DIR}/collectors/public_ip.cpp)
set(HOSTLENS_SHARED_SOURCES ${HOSTLENS_PORTABLE_SOURCES} ${HOSTLENS_WIN32_SOURCES})
list(REMOVE_ITEM HOSTLENS_SHARED_SOURCES ${HOSTLENS_IP_SOURCE})
set(HOSTLENS_DLL_DEFINES HOSTLENS_BUILDING WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
  UNICODE _UNICODE)
add_library(hostlens_objects OBJECT ${HOSTLENS_SHARED_SOURCES})
target_include_directories(hostlens_objects PRIVATE ${HOSTLENS_INCLUDES})
target_compile_definitions(hostlens_objects PRIVATE ${HOSTLENS_DLL_DEFINES})

function(hostlens_dll target output host port)
  add_library(${target} SHARED ${HOSTLENS_IP_SOURCE} $<TARGET_OBJECTS:hostlens_objects>
    ${CMAKE_SOURCE_DIR}/api/hostlens.def ${CMAKE_SOURCE_DIR}/api/hostlens.rc)
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${HOSTLENS_GENERATED_INCLUDE}> PRIVATE ${HOSTLENS_INCLUDES})
  target_compile_definitions(${target} PRIVATE ${HOSTLENS_DLL_DEFINES}
    HOSTLENS_PUBLIC_IP_HOST="${host}" HOSTLENS_PUBLIC_IP_PORT=${port})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} PREFIX "" IMPORT_PREFIX ""
    IMPORT_SUFFIX ".lib" ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # Every other system DLL is loaded at first use (platform/win32/winapi.cpp),
  # never imported.
  target_link_libraries(${target} PRIVATE advapi32)
  if(MINGW)
    # Static runtime, so the DLL imports system DLLs only.
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

hostlens_dll(hostlens hostlens "${HOSTLENS_PUBLIC_IP_HOST}" ${HOSTLENS_PUBLIC_IP_PORT})

# The same library asking a server the integration tests run on 127.0.0.1.
set(HOSTLENS_TEST_PUBLIC_IP_PORT 18080 CACHE STRING "port of the test public IP server")
hostlens_dll(hostlens_localip hostlens_local "127.0.0.1" ${HOSTLENS_TEST_PUBLIC_IP_PORT})

file(GLOB HOSTLENS_TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/hostlens/*.cpp)
add_executable(hostlens_cli ${HOSTLENS_TOOL_SOURCES} tools/hostlens/hostlens.rc)
set_target_properties(hostlens_cli PROPERTIES OUTPUT_NAME hostlens)
target_include_directories(hostlens_cli PRIVATE ${HOSTLENS_JSON_INCLUDE})
target_compile_definitions(hostlens_cli PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(hostlens_cli PRIVATE hostlens)
target_precompile_headers(hostlens_cli PRIVATE <string> <vector> <nlohmann/json.hpp>)
if(MINGW)
  # -municode: the start-up code that calls wmain.
  target_link_options(hostlens_cli PRIVATE -static -static-libgcc -static-libstdc++ -municode)
endif()

if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/googletest)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  target_compile_options(gtest PRIVATE -w -O0)
  target_compile_options(gtest_main PRIVATE -w)

  # One executable per area, each its own test process with its own timeout.
  # They share one main, one precompiled header and one set of flags; test
  # code is built without optimisation, which halves its compile time.
  set(HOSTLENS_WINE_TEST_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX HOSTLENS_STATIC
    ${HOSTLENS_DEFINES} HOSTLENS_TEST_PUBLIC_IP_PORT=${HOSTLENS_TEST_PUBLIC_IP_PORT})
  set(HOSTLENS_WINE_TEST_INCLUDES ${CMAKE_SOURCE_DIR}/tests/wine ${CMAKE_SOURCE_DIR}/tests/fake
    ${HOSTLENS_INCLUDES} ${HOSTLENS_JSON_INCLUDE})
  add_library(wine_test_main STATIC ${CMAKE_SOURCE_DIR}/tests/wine/wine_main.cpp
    ${CMAKE_SOURCE_DIR}/tests/fake/utf_convert.cpp)
  target_include_directories(wine_test_main PRIVATE ${HOSTLENS_WINE_TEST_INCLUDES})
  target_compile_definitions(wine_test_main PRIVATE ${HOSTLENS_WINE_TEST_DEFINES})
  target_compile_options(wine_test_main PRIVATE -O0)
  target_precompile_headers(wine_test_main PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine/wine_common.h)
  target_link_libraries(wine_test_main PUBLIC gtest)
  file(GLOB HOSTLENS_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/test_*.cpp)
  foreach(src ${HOSTLENS_WINE_TESTS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(wine_${name} ${src})
    target_include_directories(wine_${name} PRIVATE ${HOSTLENS_WINE_TEST_INCLUDES})
    target_compile_definitions(wine_${name} PRIVATE ${HOSTLENS_WINE_TEST_DEFINES})
    target_compile_options(wine_${name} PRIVATE -O0)
    target_precompile_headers(wine_${name} REUSE_FROM wine_test_main)
    target_link_libraries(wine_${name} PRIVATE wine_test_main ws2_32 iphlpapi pdh winhttp ole32
      oleaut32 version)
    target_link_options(wine_${name} PRIVATE -static -static-libgcc -static-libstdc++)
    add_dependencies(wine_${name} hostlens hostlens_localip)
    add_test(NAME wine.${name}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/run_test.sh $<TARGET_FILE:wine_${name}>)
    # One at a time: several tests write the prefix's registry or serve on
    # 127.0.0.1:18080.
    set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_prefix)
  endforeach()
  # The interface-table reader also runs over the real table.
  if(TARGET wine_test_network)
    target_sources(wine_test_network PRIVATE ${CMAKE_SOURCE_DIR}/collectors/network_table.cpp)
    set_source_files_properties(${CMAKE_SOURCE_DIR}/collectors/network_table.cpp
      PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  endif()
  # The public IP cases also run through the WinHTTP side of the port itself.
  if(TARGET wine_test_public_ip)
    set(port_sources ${CMAKE_SOURCE_DIR}/platform/win32/http.cpp
      ${CMAKE_SOURCE_DIR}/platform/win32/memory.cpp ${CMAKE_SOURCE_DIR}/platform/win32/winapi.cpp
      ${CMAKE_SOURCE_DIR}/platform/win32/system.cpp ${CMAKE_SOURCE_DIR}/core/load.cpp)
    target_sources(wine_test_public_ip PRIVATE ${port_sources})
    set_source_files_properties(${port_sources} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    target_include_directories(wine_test_public_ip PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32)
  endif()
endif()

# Every document of the real DLL under Wine, held against the schemas.
include(cmake/schema.cmake)
if(CMAKE_CROSSCOMPILING)
  add_executable(wine_documents ${CMAKE_SOURCE_DIR}/tests/schema/wine_documents.cpp)
  target_include_directories(wine_documents PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  target_compile_definitions(wine_documents PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    HOSTLENS_TEST_PUBLIC_IP_PORT=${HOSTLENS_TEST_PUBLIC_IP_PORT})
  target_link_libraries(wine_documents PRIVATE ws2_32)
  target_link_options(wine_documents PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(wine_documents hostlens_localip)
  hostlens_schema_test(schema.wine_documents MUTATE served refused
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine $<TARGET_FILE:wine_documents>)
  set_tests_properties(schema.wine_documents PROPERTIES RESOURCE_LOCK wine_prefix)

  # The Node.js example, run by the Windows Node.js under Wine against the DLL
  # that asks 127.0.0.1 (nobody answers there: the public IP document shows
  # its "error" form). Fetches its packages from the npm registry once.
  add_test(NAME node.example COMMAND ${CMAKE_SOURCE_DIR}/tests/node/run_example.sh
    ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} hostlens_local.dll)
  set_tests_properties(node.example PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine_prefix)
endif()

include(cmake/bench.cmake)
include(cmake/packaging.cmake)

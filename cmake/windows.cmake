# Windows build: hostlens.dll over the Win32 side of the port, the host
# program, and the integration tests that load the real DLL.
file(GLOB HOSTLENS_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)

enable_language(RC)
add_library(hostlens SHARED ${HOSTLENS_PORTABLE_SOURCES} ${HOSTLENS_WIN32_SOURCES}
  ${CMAKE_SOURCE_DIR}/api/hostlens.def ${CMAKE_SOURCE_DIR}/api/hostlens.rc)
target_include_directories(hostlens PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
  PRIVATE ${HOSTLENS_INCLUDES})
target_compile_definitions(hostlens PRIVATE HOSTLENS_BUILDING WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 UNICODE _UNICODE ${HOSTLENS_DEFINES})
set_target_properties(hostlens PROPERTIES PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib"
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_link_libraries(hostlens PRIVATE ole32 oleaut32 pdh winhttp ws2_32 iphlpapi user32 advapi32)
if(MINGW)
  # Static runtime, so the DLL imports system DLLs only.
  target_link_options(hostlens PRIVATE -static -static-libgcc -static-libstdc++)
endif()

add_executable(hostlens_cli tools/hostlens/main.cpp tools/hostlens/hostlens.rc)
set_target_properties(hostlens_cli PROPERTIES OUTPUT_NAME hostlens)
target_link_libraries(hostlens_cli PRIVATE hostlens)
if(MINGW)
  target_link_options(hostlens_cli PRIVATE -static -static-libgcc -static-libstdc++)
endif()

if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/googletest)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)

  # One executable per area, each its own test process with its own timeout.
  file(GLOB HOSTLENS_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/test_*.cpp)
  foreach(src ${HOSTLENS_WINE_TESTS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(wine_${name} ${src} ${CMAKE_SOURCE_DIR}/tests/wine/wine_main.cpp
      ${CMAKE_SOURCE_DIR}/tests/fake/utf_convert.cpp)
    target_include_directories(wine_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine
      ${CMAKE_SOURCE_DIR}/tests/fake ${HOSTLENS_INCLUDES} ${HOSTLENS_JSON_INCLUDE})
    target_compile_definitions(wine_${name} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
      HOSTLENS_STATIC ${HOSTLENS_DEFINES})
    target_link_libraries(wine_${name} PRIVATE gtest ws2_32 iphlpapi pdh winhttp ole32 oleaut32)
    target_link_options(wine_${name} PRIVATE -static -static-libgcc -static-libstdc++)
    add_dependencies(wine_${name} hostlens)
    add_test(NAME wine.${name} COMMAND wine_${name})
    set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300)
  endforeach()
endif()

include(cmake/packaging.cmake)

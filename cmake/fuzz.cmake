# One libFuzzer target per untrusted input, over the portable code and the
# fake platform.
file(GLOB HOSTLENS_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(src ${HOSTLENS_FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} $<TARGET_OBJECTS:hostlens_fake>)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz ${HOSTLENS_JSON_INCLUDE})
  target_link_libraries(${name} PRIVATE hostlens_portable hostlens_fake)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()

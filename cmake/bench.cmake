# Benchmarks. Every build compiles them so they keep building; nothing runs
# them but scripts/bench, which makes its own optimised native build.
if(WIN32)
  # Per-export cost against the same platform calls made directly. It loads
  # the DLL that asks 127.0.0.1, where it runs its own public IP server.
  add_executable(hostlens_bench ${CMAKE_SOURCE_DIR}/bench/windows/hostlens_bench.cpp)
  target_compile_definitions(hostlens_bench PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 HOSTLENS_BENCH_PUBLIC_IP_PORT=${HOSTLENS_TEST_PUBLIC_IP_PORT})
  target_link_libraries(hostlens_bench PRIVATE ws2_32 iphlpapi pdh winhttp ole32 oleaut32
    user32 advapi32)
  if(MINGW)
    target_link_options(hostlens_bench PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
  add_dependencies(hostlens_bench hostlens hostlens_localip)
else()
  # The JSON writer over documents from the substitute platform, beside
  # memcpy of the same bytes.
  find_package(benchmark REQUIRED)
  add_executable(hostlens_bench_writer ${CMAKE_SOURCE_DIR}/bench/native/bench_writer.cpp
    $<TARGET_OBJECTS:hostlens_fake>)
  target_include_directories(hostlens_bench_writer PRIVATE ${CMAKE_SOURCE_DIR}/tests/fake)
  target_link_libraries(hostlens_bench_writer PRIVATE hostlens_portable benchmark::benchmark
    Threads::Threads)
endif()

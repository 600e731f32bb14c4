# Installation layout, CMake config package, pkg-config file and the zip.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS hostlens EXPORT hostlensTargets
  RUNTIME DESTINATION bin
  LIBRARY DESTINATION bin
  ARCHIVE DESTINATION lib
  INCLUDES DESTINATION include)
install(TARGETS hostlens_cli RUNTIME DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/include/hostlens.h
  ${HOSTLENS_GENERATED_INCLUDE}/hostlens_version.h DESTINATION include)
install(EXPORT hostlensTargets NAMESPACE hostlens:: DESTINATION lib/cmake/hostlens)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/hostlensConfig.cmake.in
  ${CMAKE_BINARY_DIR}/hostlensConfig.cmake INSTALL_DESTINATION lib/cmake/hostlens)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/hostlensConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/hostlensConfig.cmake ${CMAKE_BINARY_DIR}/hostlensConfigVersion.cmake
  DESTINATION lib/cmake/hostlens)
configure_file(${CMAKE_SOURCE_DIR}/cmake/hostlens.pc.in ${CMAKE_BINARY_DIR}/hostlens.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/hostlens.pc DESTINATION lib/pkgconfig)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/schema/ DESTINATION share/hostlens/schema
  FILES_MATCHING PATTERN "*.schema.json")
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
# The README links to the Node.js example: it travels with it.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/node DESTINATION examples
  PATTERN node_modules EXCLUDE PATTERN package-lock.json EXCLUDE)
configure_file(${CMAKE_SOURCE_DIR}/cmake/QUICKSTART.txt.in ${CMAKE_BINARY_DIR}/QUICKSTART.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/QUICKSTART.txt DESTINATION .)

# The installed DLL and program are stripped; their DWARF goes beside them as
# <name>.debug, which gdb finds through the debug link. The build tree keeps
# its unstripped binaries for the tests.
if(MINGW AND CMAKE_OBJCOPY)
  foreach(target hostlens hostlens_cli)
    install(CODE "
      set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
      set(name \"$<TARGET_FILE_NAME:${target}>\")
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \${name} \${name}.debug
        WORKING_DIRECTORY \${bin} COMMAND_ERROR_IS_FATAL ANY)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-all
        --add-gnu-debuglink=\${name}.debug \${name}
        WORKING_DIRECTORY \${bin} COMMAND_ERROR_IS_FATAL ANY)
      message(STATUS \"Stripped: \${bin}/\${name}, debug information in \${name}.debug\")")
  endforeach()
elseif(MSVC)
  install(FILES $<TARGET_PDB_FILE:hostlens> $<TARGET_PDB_FILE:hostlens_cli> DESTINATION bin
    OPTIONAL)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME hostlens)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME hostlens-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)

# A consumer built against the installed tree, as a user would.
if(CMAKE_CROSSCOMPILING)
  add_test(NAME packaging.consumer
    COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/consumer.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(packaging.consumer PROPERTIES TIMEOUT 300)
  add_test(NAME packaging.zip
    COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/zip.sh ${CMAKE_BINARY_DIR} ${CMAKE_OBJDUMP})
  set_tests_properties(packaging.zip PROPERTIES TIMEOUT 300)
endif()

# The JSON Schemas of the documents: installed beside the library, and the
# tests that hold every document against them (tests/schema/validate.py,
# which needs Debian's python3-jsonschema; the python3 on PATH may be another
# build without it).
find_program(HOSTLENS_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT HOSTLENS_SYSTEM_PYTHON)
  find_program(HOSTLENS_SYSTEM_PYTHON python3)
endif()
set(HOSTLENS_SCHEMA_DIR ${CMAKE_SOURCE_DIR}/schema)

# hostlens_schema_test(name program [--mutate state]...): runs the program,
# which writes its documents into a file, then validates them.
function(hostlens_schema_test name)
  cmake_parse_arguments(arg "" "" "MUTATE;COMMAND" ${ARGN})
  set(mutate)
  foreach(state ${arg_MUTATE})
    list(APPEND mutate --mutate ${state})
  endforeach()
  add_test(NAME ${name} COMMAND ${HOSTLENS_SYSTEM_PYTHON}
    ${CMAKE_SOURCE_DIR}/tests/schema/validate.py ${HOSTLENS_SCHEMA_DIR}
    ${CMAKE_CURRENT_BINARY_DIR}/${name}.txt ${mutate} -- ${arg_COMMAND})
  # Among the longest tests: started first, beside the short ones, instead
  # of last and alone.
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 COST 1000)
endfunction()

# Installs the build under a fresh prefix and checks that the installed tree
# holds exactly the files of the staged one, and that its zo++ runs.
# Inputs: BUILD_DIR, STAGE_DIR, PREFIX.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${err}")
endif()

file(GLOB_RECURSE staged RELATIVE "${STAGE_DIR}" "${STAGE_DIR}/*")
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT staged)
list(SORT installed)
if(NOT staged STREQUAL installed)
  set(missing ${staged})
  list(REMOVE_ITEM missing ${installed})
  set(extra ${installed})
  list(REMOVE_ITEM extra ${staged})
  message(FATAL_ERROR "the installed tree differs from the staged one\n"
                      "missing: ${missing}\nextra: ${extra}")
endif()

execute_process(COMMAND "${PREFIX}/bin/zo++" -version
                RESULT_VARIABLE status OUTPUT_VARIABLE version)
if(NOT status EQUAL 0 OR NOT version MATCHES "^zo\\+\\+ version ")
  message(FATAL_ERROR "the installed zo++ does not run: ${version}")
endif()
file(REMOVE_RECURSE "${PREFIX}")

# A user's project against an installed toolchain: examples/project is
# configured, built and tested with each generator against an installation
# whose path holds a blank; editing a header the contract includes rebuilds
# the contract, and nothing else does.
# Inputs: BUILD_DIR (the toolchain's build), PROJECT (examples/project), WORK.
file(REMOVE_RECURSE "${WORK}")
set(prefix "${WORK}/corvane prefix")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${err}")
endif()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${out}\n${err}")
  endif()
  set(output "${out}${err}" PARENT_SCOPE)
endfunction()

foreach(generator "Ninja" "Unix Makefiles")
  string(MAKE_C_IDENTIFIER "${generator}" tag)
  set(source "${WORK}/my project ${tag}")
  set(build "${source}/build")
  file(COPY "${PROJECT}/" DESTINATION "${source}")
  run("configuring with ${generator}" ${CMAKE_COMMAND} -S "${source}" -B "${build}"
      -G "${generator}" "-DCMAKE_PREFIX_PATH=${prefix}")
  run("building with ${generator}" ${CMAKE_COMMAND} --build "${build}")
  if(NOT EXISTS "${build}/registry.ctrx")
    message(FATAL_ERROR "${generator}: no registry.ctrx")
  endif()
  run("testing with ${generator}" ${CMAKE_CTEST_COMMAND} --test-dir "${build}"
      --output-on-failure)
  if(NOT output MATCHES "100% tests passed")
    message(FATAL_ERROR "${generator}: the project's test did not pass:\n${output}")
  endif()

  run("building again with ${generator}" ${CMAKE_COMMAND} --build "${build}")
  if(output MATCHES "Building contract")
    message(FATAL_ERROR "${generator}: an unchanged contract was rebuilt:\n${output}")
  endif()
  # A header the contract includes, a second later than what was built.
  execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
  file(TOUCH "${source}/include/registry/registry.hpp")
  run("building after a header changed, with ${generator}" ${CMAKE_COMMAND} --build "${build}")
  if(NOT output MATCHES "Building contract registry.ctrx")
    message(FATAL_ERROR "${generator}: editing a header did not rebuild the contract:\n${output}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")

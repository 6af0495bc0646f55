# Corvane: build contracts with zo++ from CMake.
#
#   find_package(Corvane REQUIRED)
#   corvane_add_contract(token SOURCES token.cpp tables.cpp
#                        [INCLUDE_DIRECTORIES include ...] [OPTIONS -O2 ...])
#   corvane_add_contract_test(token_test SOURCES token_test.cpp CONTRACTS token)
#
# corvane_add_contract makes the target NAME, whose output is
# ${CMAKE_CURRENT_BINARY_DIR}/NAME.ctrx (the target's property
# CORVANE_CONTAINER).  It is rebuilt when a source or any header it includes
# changes.  corvane_add_contract_test builds a GoogleTest program over the
# test library (<corvane/testing.hpp>) and registers it with CTest; the
# containers of CONTRACTS are built first, and the test finds each under
# its contract name (CORVANE_CONTRACT_<NAME> in its environment).
cmake_minimum_required(VERSION 3.20)

get_filename_component(CORVANE_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
set(CORVANE_ZOXX "${CORVANE_PREFIX}/bin/zo++")
set(CORVANE_CTRRUN "${CORVANE_PREFIX}/bin/ctrrun")
set(CORVANE_SYSROOT "${CORVANE_PREFIX}/wasm-sysroot")
set(_corvane_depends "${CMAKE_CURRENT_LIST_DIR}/CorvaneDepends.cmake")

if(NOT EXISTS "${CORVANE_ZOXX}")
  set(Corvane_FOUND FALSE)
  set(Corvane_NOT_FOUND_MESSAGE "no zo++ in ${CORVANE_PREFIX}/bin")
  return()
endif()

function(corvane_add_contract name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;INCLUDE_DIRECTORIES;OPTIONS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvane_add_contract(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "corvane_add_contract(${name}): no SOURCES")
  endif()

  set(sources "")
  foreach(source IN LISTS arg_SOURCES)
    get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND sources "${source}")
  endforeach()
  set(flags "")
  foreach(dir IN LISTS arg_INCLUDE_DIRECTORIES)
    get_filename_component(dir "${dir}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND flags "-I${dir}")
  endforeach()
  # What decides which headers are read: the macros given among OPTIONS.
  set(scan_flags ${flags})
  foreach(option IN LISTS arg_OPTIONS)
    if(option MATCHES "^-D")
      list(APPEND scan_flags "${option}")
    endif()
  endforeach()

  # Lists reach the dependency script joined by '|': the command would
  # split them.
  string(REPLACE ";" "|" source_list "${sources}")
  string(REPLACE ";" "|" scan_list "${scan_flags}")
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.ctrx")
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${name}.ctrx.d")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DCLANG=${CORVANE_PREFIX}/bin/clang-8"
            "-DSYSROOT=${CORVANE_SYSROOT}" "-DOUTPUT=${output}" "-DDEPFILE=${depfile}"
            "-DSOURCES=${source_list}" "-DFLAGS=${scan_list}" -P "${_corvane_depends}"
    COMMAND "${CORVANE_ZOXX}" ${arg_OPTIONS} ${flags} -o "${output}" ${sources}
    DEPENDS ${sources} "${CORVANE_ZOXX}"
    DEPFILE "${depfile}"
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    COMMENT "Building contract ${name}.ctrx"
    VERBATIM COMMAND_EXPAND_LISTS)
  add_custom_target(${name} ALL DEPENDS "${output}")
  set_target_properties(${name} PROPERTIES CORVANE_CONTAINER "${output}")
endfunction()

# The test library and GoogleTest, found once.
macro(_corvane_find_testing)
  if(NOT TARGET Corvane::testing)
    find_package(GTest REQUIRED)
    find_package(Threads REQUIRED)
    add_library(Corvane::testing STATIC IMPORTED)
    set_target_properties(Corvane::testing PROPERTIES
      IMPORTED_LOCATION "${CORVANE_PREFIX}/lib/libcorvane-testing.a"
      INTERFACE_INCLUDE_DIRECTORIES "${CORVANE_PREFIX}/include"
      INTERFACE_LINK_LIBRARIES "Threads::Threads;${CMAKE_DL_LIBS}")
  endif()
endmacro()

function(corvane_add_contract_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;CONTRACTS;LIBRARIES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
            "corvane_add_contract_test(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  _corvane_find_testing()
  add_executable(${name} ${arg_SOURCES})
  target_compile_features(${name} PRIVATE cxx_std_17)
  target_link_libraries(${name} PRIVATE Corvane::testing GTest::gtest_main ${arg_LIBRARIES})
  set(environment "")
  foreach(contract IN LISTS arg_CONTRACTS)
    if(NOT TARGET ${contract})
      message(FATAL_ERROR "corvane_add_contract_test(${name}): no contract ${contract}")
    endif()
    add_dependencies(${name} ${contract})
    get_target_property(container ${contract} CORVANE_CONTAINER)
    string(TOUPPER "${contract}" upper)
    string(MAKE_C_IDENTIFIER "${upper}" upper)
    list(APPEND environment "CORVANE_CONTRACT_${upper}=${container}")
  endforeach()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
endfunction()

set(Corvane_FOUND TRUE)

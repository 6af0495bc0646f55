# Writes the header that fixes the driver's commit identifier: the source
# revision's 7-digit abbreviation, or a fixed value outside a git checkout.
# Runs at every build; the header only changes when the revision does.
execute_process(
  COMMAND git -C "${SOURCE_DIR}" rev-parse --short=7 HEAD
  OUTPUT_VARIABLE commit
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE status
  ERROR_QUIET)
if(NOT status EQUAL 0 OR NOT commit MATCHES "^[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]$")
  set(commit "0000000")
endif()
set(content "#define ZO_COMMIT_ID \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT "${old}" STREQUAL "${content}")
  file(WRITE "${OUTPUT}" "${content}")
endif()

# Writes the header that fixes the driver's commit identifier: the source
# revision's 7-digit abbreviation, or a fixed value outside a git checkout.
# Runs at every build; the header only changes when the revision does.
# The first seven digits of the full name: --short would give more where
# seven are ambiguous.
execute_process(
  COMMAND git -C "${SOURCE_DIR}" rev-parse HEAD
  OUTPUT_VARIABLE commit
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE status
  ERROR_QUIET)
if(status EQUAL 0 AND commit MATCHES "^[0-9a-f]+$")
  string(SUBSTRING "${commit}" 0 7 commit)
else()
  set(commit "0000000")
endif()
set(content "#define ZO_COMMIT_ID \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT "${old}" STREQUAL "${content}")
  file(WRITE "${OUTPUT}" "${content}")
endif()

# Writes the dependency file of a contract build: every header that the
# sources include, as the compiler finds them, for the rule of OUTPUT.
# Inputs: CLANG, SYSROOT, OUTPUT, DEPFILE, and SOURCES and FLAGS as lists
# joined by '|'.
string(REPLACE "|" ";" sources "${SOURCES}")
string(REPLACE "|" ";" flags "${FLAGS}")
set(rules "")
foreach(source IN LISTS sources)
  set(standard --std=c++17)
  if(source MATCHES "\\.c$")
    set(standard --std=c17)
  endif()
  execute_process(
    COMMAND "${CLANG}" "--sysroot=${SYSROOT}" ${standard} -nostdlib ${flags}
            -M -MQ "${OUTPUT}" "${source}"
    OUTPUT_VARIABLE rule ERROR_QUIET)
  # A source that does not preprocess fails the build itself, with the
  # compiler's own message.
  string(APPEND rules "${rule}")
endforeach()
file(WRITE "${DEPFILE}" "${rules}")

# Derives the sysroot's C libraries from wasi-libc's libc.a:
#   libc.a        the C library without its allocator, and with abort, assert,
#                 atexit, _Exit, the environment and the file-descriptor calls
#                 left to the contract runtime, which needs no WASI import;
#   libhostlibc.a the same less the memory and string functions that the
#                 host provides natively (they become imports);
#   libdlmalloc.a wasi-libc's dlmalloc.
# Both C libraries format and parse long double.  wasi-libc's
# printscan-long-double members do, but need over 7 KiB of stack for any
# floating-point conversion; the contract runtime's vfprintf, vfwprintf and
# __floatscan choose them only for a long double, and the plain ones
# otherwise, which both libraries hold under new names.
# And libc++.a: libc++ and libc++abi in one archive, without their operator
# new and delete, which the contract runtime defines.
# Inputs: AR, OBJ2YAML, YAML2OBJ, LIBC, LIBC_LONG_DOUBLE, LIBCXX, LIBCXXABI,
# OUT (the sysroot's library directory).

set(runtime_members dlmalloc.o abort.o assert.o atexit.o writev.o lseek.o close.o
                    readv.o read.o isatty.o _Exit.o __wasilibc_initialize_environ.o)
set(host_members memcpy.o memmove.o memset.o memcmp.o strlen.o strcmp.o strncmp.o)
set(printscan_members floatscan.o vfprintf.o vfwprintf.o vfscanf.o strtod.o wcstod.o)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${err}")
  endif()
endfunction()

# Copies the object IN to OUT with its symbol FROM named TO.
function(rename_symbol in out from to)
  execute_process(COMMAND ${OBJ2YAML} ${in} OUTPUT_VARIABLE yaml RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJ2YAML} ${in} failed")
  endif()
  string(REGEX REPLACE "\n( +Name: +)${from}\n" "\n\\1${to}\n" renamed "${yaml}")
  if(renamed STREQUAL yaml)
    message(FATAL_ERROR "${in} defines no ${from}")
  endif()
  file(WRITE ${out}.yaml "${renamed}")
  run(${YAML2OBJ} ${out}.yaml -o ${out})
  file(REMOVE ${out}.yaml)
endfunction()

function(derive name)
  set(tmp ${OUT}/${name}.tmp)
  file(COPY_FILE ${LIBC} ${tmp})
  run(${AR} d ${tmp} ${ARGN})
  # Every member named must have been there: a renamed member would
  # silently stay in the library.
  execute_process(COMMAND ${AR} t ${tmp} OUTPUT_VARIABLE members)
  foreach(member ${ARGN})
    if(members MATCHES "(^|\n)${member}\n")
      message(FATAL_ERROR "${member} is still in ${name}")
    endif()
  endforeach()
  run(${AR} rs ${tmp} ${long_double_objects})
  file(RENAME ${tmp} ${OUT}/${name})
endfunction()

execute_process(COMMAND ${AR} t ${LIBC} OUTPUT_VARIABLE all_members)
foreach(member ${runtime_members} ${host_members} ${printscan_members})
  if(NOT all_members MATCHES "(^|\n)${member}\n")
    message(FATAL_ERROR "${LIBC} has no ${member}")
  endif()
endforeach()

file(MAKE_DIRECTORY ${OUT})
set(work ${OUT}/printscan.tmp)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
run(${CMAKE_COMMAND} -E chdir ${work} ${AR} x ${LIBC_LONG_DOUBLE})
run(${CMAKE_COMMAND} -E chdir ${work} ${AR} x ${LIBC} vfprintf.o vfwprintf.o floatscan.o)
set(long_double_objects)
foreach(entry vfprintf:vfprintf:__vfprintf vfwprintf:vfwprintf:__vfwprintf
              floatscan:__floatscan:__floatscan)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 member)
  list(GET entry 1 symbol)
  list(GET entry 2 base)
  rename_symbol(${work}/${member}.o ${work}/${member}.double.o ${symbol} ${base}_double)
  rename_symbol(${work}/${member}.long-double.o ${work}/${member}.long-double.o
                ${symbol} ${base}_long_double)
  list(APPEND long_double_objects ${work}/${member}.double.o ${work}/${member}.long-double.o)
endforeach()
# These call __floatscan, which returns a long double in this version.
foreach(member vfscanf strtod wcstod)
  list(APPEND long_double_objects ${work}/${member}.long-double.o)
endforeach()
derive(libc.a ${runtime_members} ${printscan_members})
derive(libhostlibc.a ${runtime_members} ${host_members} ${printscan_members})
file(REMOVE_RECURSE ${work})

set(work ${OUT}/dlmalloc.tmp)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
run(${CMAKE_COMMAND} -E chdir ${work} ${AR} x ${LIBC} dlmalloc.o)
file(REMOVE ${OUT}/libdlmalloc.a)
run(${AR} rcs ${OUT}/libdlmalloc.a ${work}/dlmalloc.o)
file(REMOVE_RECURSE ${work})

# Same-named members of the two archives are kept apart by an MRI script.
file(WRITE ${OUT}/libc++.mri "create ${OUT}/libc++.a.tmp\naddlib ${LIBCXX}\naddlib ${LIBCXXABI}\nsave\nend\n")
file(REMOVE ${OUT}/libc++.a.tmp)
execute_process(COMMAND ${AR} -M INPUT_FILE ${OUT}/libc++.mri RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "merging libc++ and libc++abi failed")
endif()
file(REMOVE ${OUT}/libc++.mri)
# Both libraries have a copy; each deletion takes one.
foreach(copy 1 2)
  run(${AR} d ${OUT}/libc++.a.tmp stdlib_new_delete.cpp.o)
endforeach()
execute_process(COMMAND ${AR} t ${OUT}/libc++.a.tmp OUTPUT_VARIABLE members)
if(members MATCHES "(^|\n)stdlib_new_delete.cpp.o\n")
  message(FATAL_ERROR "stdlib_new_delete.cpp.o is still in libc++.a")
endif()
file(RENAME ${OUT}/libc++.a.tmp ${OUT}/libc++.a)

# Derives the sysroot's C libraries from wasi-libc's libc.a:
#   libc.a        the C library without its allocator, and with abort, assert,
#                 atexit, _Exit, the environment and the file-descriptor calls
#                 left to the contract runtime, which needs no WASI import;
#   libhostlibc.a the same less the memory and string functions that the
#                 host provides natively (they become imports);
#   libdlmalloc.a wasi-libc's dlmalloc.
# And libc++.a: libc++ and libc++abi in one archive.
# Inputs: AR, LIBC, LIBCXX, LIBCXXABI, OUT (the sysroot's library directory).

set(runtime_members dlmalloc.o abort.o assert.o atexit.o writev.o lseek.o close.o
                    readv.o read.o isatty.o _Exit.o __wasilibc_initialize_environ.o)
set(host_members memcpy.o memmove.o memset.o memcmp.o strlen.o strcmp.o strncmp.o)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${err}")
  endif()
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
  file(RENAME ${tmp} ${OUT}/${name})
endfunction()

execute_process(COMMAND ${AR} t ${LIBC} OUTPUT_VARIABLE all_members)
foreach(member ${runtime_members} ${host_members})
  if(NOT all_members MATCHES "(^|\n)${member}\n")
    message(FATAL_ERROR "${LIBC} has no ${member}")
  endif()
endforeach()

file(MAKE_DIRECTORY ${OUT})
derive(libc.a ${runtime_members})
derive(libhostlibc.a ${runtime_members} ${host_members})

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
file(RENAME ${OUT}/libc++.a.tmp ${OUT}/libc++.a)

# Merges static archives into one with an ar MRI script, which keeps
# members of the same name from different archives apart.
# Inputs: AR, LIST (a file naming one archive a line), OUTPUT.
file(STRINGS "${LIST}" archives)
set(script "CREATE ${OUTPUT}.tmp\n")
foreach(archive ${archives})
  # MRI scripts have no quoting.
  if(archive MATCHES "[ ,;+()*]")
    message(FATAL_ERROR "cannot merge ${archive}: ar scripts take no path with blanks or ,;+()*")
  endif()
  string(APPEND script "ADDLIB ${archive}\n")
endforeach()
string(APPEND script "SAVE\nEND\n")
get_filename_component(dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${LIST}.mri" "${script}")
file(REMOVE "${OUTPUT}.tmp")
execute_process(COMMAND "${AR}" -M INPUT_FILE "${LIST}.mri" RESULT_VARIABLE status
                ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "ar -M failed merging into ${OUTPUT}: ${err}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")

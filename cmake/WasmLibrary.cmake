# Building the sysroot's contract libraries for wasm32 with the host clang.
#
#   zo_wasm_library(NAME root SOURCES a.c b.cpp... [FLAGS ...] [DEPENDS ...])
#
# compiles each source against the staged sysroot and archives the objects
# as wasm-sysroot/lib/wasm32-wasi/lib<root>.a, so that -l<root> finds it.
# Sources are compiled as contracts are: no exceptions, no RTTI, one section
# per function so that the linker keeps only what a contract uses.

find_program(ZO_HOST_CLANG NAMES clang-14 clang HINTS ${LLVM_TOOLS_BINARY_DIR} REQUIRED)
find_program(ZO_LLVM_AR NAMES llvm-ar-14 llvm-ar HINTS ${LLVM_TOOLS_BINARY_DIR} REQUIRED)

set(ZO_WASM_TRIPLE wasm32-wasi)
set(ZO_SYSROOT ${ZO_STAGE_DIR}/wasm-sysroot)
set(ZO_SYSROOT_LIB ${ZO_SYSROOT}/lib/${ZO_WASM_TRIPLE})
set(ZO_WASM_CFLAGS
  --target=${ZO_WASM_TRIPLE} --sysroot=${ZO_SYSROOT} -O2
  -ffunction-sections -fdata-sections -fno-exceptions -Wall -Wextra)
set(ZO_WASM_CXXFLAGS --std=c++17 -fno-rtti -fno-threadsafe-statics)
set(ZO_WASM_CCFLAGS -std=c11)

function(zo_wasm_library)
  cmake_parse_arguments(W "" "NAME" "SOURCES;FLAGS;DEPENDS" ${ARGN})
  set(objects)
  foreach(source ${W_SOURCES})
    get_filename_component(path ${source} ABSOLUTE)
    get_filename_component(name ${source} NAME)
    set(object ${CMAKE_CURRENT_BINARY_DIR}/wasm-${W_NAME}/${name}.o)
    if(path MATCHES "\\.c$")
      set(lang_flags ${ZO_WASM_CCFLAGS})
    else()
      set(lang_flags ${ZO_WASM_CXXFLAGS})
    endif()
    add_custom_command(OUTPUT ${object}
      COMMAND ${ZO_HOST_CLANG} ${ZO_WASM_CFLAGS} ${lang_flags} ${W_FLAGS}
              -MD -MF ${object}.d -c ${path} -o ${object}
      DEPENDS ${path} ${W_DEPENDS} zo-sysroot-headers
      DEPFILE ${object}.d
      COMMENT "Compiling ${name} for wasm32 (lib${W_NAME})"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  set(archive ${ZO_SYSROOT_LIB}/lib${W_NAME}.a)
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${archive}
    COMMAND ${ZO_LLVM_AR} rcs ${archive} ${objects}
    DEPENDS ${objects}
    COMMENT "Archiving lib${W_NAME}.a"
    VERBATIM)
  add_custom_target(wasm-lib-${W_NAME} ALL DEPENDS ${archive})
endfunction()

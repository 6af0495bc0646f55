# zo-llvm-support: LLVM's Support library as the tools link it, from its
# static archives.  Debian's LLVMSupport target also carries shared libraries
# (libz3) that none of them uses, so the archives are named directly.  With
# -static on top, a tool starts without any dynamic loading.
separate_arguments(ZO_LLVM_DEFINITIONS UNIX_COMMAND "${LLVM_DEFINITIONS}")
find_library(ZO_TINFO_STATIC NAMES libtinfo.a REQUIRED)
find_library(ZO_ZLIB_STATIC NAMES libz.a REQUIRED)

add_library(zo-llvm-support INTERFACE)
target_include_directories(zo-llvm-support SYSTEM INTERFACE ${LLVM_INCLUDE_DIRS})
target_compile_definitions(zo-llvm-support INTERFACE ${ZO_LLVM_DEFINITIONS})
if(NOT LLVM_ENABLE_RTTI)
  target_compile_options(zo-llvm-support INTERFACE -fno-rtti)
endif()
target_link_libraries(zo-llvm-support INTERFACE
  $<TARGET_FILE:LLVMSupport> $<TARGET_FILE:LLVMDemangle>
  ${ZO_TINFO_STATIC} ${ZO_ZLIB_STATIC} pthread)

# Network kernels of a distribution build (CORVAN_SIMD=dist): the libraries
# target plain x86-64, and src/eval/vectorkernels.cpp is compiled once more
# for each instruction set level below, each copy naming its own kernel
# record. src/eval/kernels.cpp lists the records and picks the fastest one
# the processor runs at start-up.
if(NOT CORVAN_SIMD STREQUAL "dist")
  return()
endif()

set(CORVAN_KERNEL_SOURCE ${CMAKE_SOURCE_DIR}/src/eval/vectorkernels.cpp)
get_target_property(eval_sources corvan_eval SOURCES)
list(REMOVE_ITEM eval_sources ${CORVAN_KERNEL_SOURCE})
set_property(TARGET corvan_eval PROPERTY SOURCES ${eval_sources})
target_compile_definitions(corvan_eval PUBLIC CORVAN_DIST)

# Each level: its kernel record, then the compiler flags of its instruction set.
set(CORVAN_KERNEL_LEVELS
  "sse41Kernels -msse4.1"
  "avx2Kernels -mavx2 -mpopcnt"
  "avx512Kernels -mavx512f -mavx512bw -mpopcnt"
  "avx512vnniKernels -mavx512f -mavx512bw -mavx512vnni -mpopcnt")
foreach(level IN LISTS CORVAN_KERNEL_LEVELS)
  separate_arguments(flags UNIX_COMMAND "${level}")
  list(POP_FRONT flags record)
  add_library(corvan_${record} OBJECT ${CORVAN_KERNEL_SOURCE})
  target_include_directories(corvan_${record} PRIVATE ${CORVAN_LAYER_DIR}/eval)
  target_compile_definitions(corvan_${record} PRIVATE CORVAN_KERNEL_RECORD=${record})
  target_compile_options(corvan_${record} PRIVATE ${flags})
  target_sources(corvan_eval PRIVATE $<TARGET_OBJECTS:corvan_${record}>)
endforeach()

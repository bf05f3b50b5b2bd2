# Profile-guided and link-time optimisation of the engine, in two trees that
# "make" drives (scripts/pgo-build.sh):
#
#   CORVAN_PGO=generate  the engine's libraries and its entry are instrumented;
#                        a run writes its counts into CORVAN_PGO_DATA.
#   CORVAN_PGO=use       the engine's libraries and its entry are compiled with
#                        those counts, and the engine and corvan-perft are
#                        linked with link-time optimisation. Everything else
#                        links the same objects without it (they carry plain
#                        code beside the intermediate form), so the tests
#                        and tools link as fast as before.
#
# The counts are filed under each object's path relative to its build tree,
# so the instrumented tree and the final one can lie in different places.
# Sanitizer builds, Debug builds and compilers other than GCC are never
# profiled. Included after every target exists.
set(CORVAN_PGO "off" CACHE STRING "Profile-guided optimisation: off, generate or use")
set_property(CACHE CORVAN_PGO PROPERTY STRINGS off generate use)
set(CORVAN_PGO_DATA "${CMAKE_BINARY_DIR}/pgo-profile" CACHE PATH "Directory of the profile counts")

if(CORVAN_PGO STREQUAL "off")
  return()
endif()
if(NOT CORVAN_PGO MATCHES "^(generate|use)$")
  message(FATAL_ERROR "CORVAN_PGO must be off, generate or use")
endif()
if(CORVAN_SANITIZE OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$"
   OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  message(WARNING "CORVAN_PGO=${CORVAN_PGO} ignored: only GCC Release builds without sanitizers are profiled")
  return()
endif()

get_filename_component(pgo_data "${CORVAN_PGO_DATA}" ABSOLUTE)
# The profiled code: the engine's layers and its entry.
set(pgo_targets corvan)
foreach(layer ${CORVAN_LAYERS})
  list(APPEND pgo_targets corvan_${layer})
endforeach()

if(CORVAN_PGO STREQUAL "generate")
  # The table is cleared by every search thread at once: atomic counters
  # keep the counts of that code consistent, which the profiled build
  # otherwise refuses now and then ("corrupted value profile").
  set(pgo_flags -fprofile-generate=${pgo_data} -fprofile-prefix-path=${CMAKE_BINARY_DIR} -fprofile-update=atomic)
  foreach(target ${pgo_targets})
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${pgo_flags}>)
  endforeach()
  # Every program that links instrumented code needs the counting runtime.
  target_link_options(corvan_base INTERFACE -fprofile-generate=${pgo_data})
  target_link_options(corvan PRIVATE -fprofile-generate=${pgo_data})
  # The benchmark's positions never come down to the built-in tablebases,
  # and generating them here would double their cost: the instrumented
  # engine goes without (the core reads them through weak symbols).
  if(TARGET corvan_tablebase_data)
    get_target_property(data_libraries corvan_data INTERFACE_LINK_LIBRARIES)
    list(REMOVE_ITEM data_libraries corvan_tablebase_data "$<TARGET_OBJECTS:corvan_tablebase_data>")
    set_property(TARGET corvan_data PROPERTY INTERFACE_LINK_LIBRARIES "${data_libraries}")
  endif()
  message(STATUS "Profile-guided build: instrumented, counts in ${pgo_data}")
  return()
endif()

# The instrumented run leaves this stamp behind; every profiled object
# depends on it, so new counts recompile them.
set(pgo_stamp ${pgo_data}/profile.stamp)
if(NOT EXISTS ${pgo_stamp})
  message(FATAL_ERROR "CORVAN_PGO=use: no profile in ${pgo_data} (\"make\" records one first)")
endif()
# Functions the benchmark never runs (perft, tablebase probes, helper
# threads) are optimised as without a profile rather than for size. An
# out-of-date count is ignored with a warning rather than an error.
set(pgo_flags -fprofile-use=${pgo_data} -fprofile-prefix-path=${CMAKE_BINARY_DIR} -fprofile-partial-training
    -Wno-missing-profile -Wno-error=coverage-mismatch)
set(lto_link_targets corvan corvan-perft)
foreach(target ${pgo_targets})
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${pgo_flags} -flto=auto -ffat-lto-objects>)
  get_target_property(sources ${target} SOURCES)
  foreach(source ${sources})
    if(source MATCHES "\\.cpp$")
      set_property(SOURCE ${source} APPEND PROPERTY OBJECT_DEPENDS ${pgo_stamp})
    endif()
  endforeach()
endforeach()
foreach(target ${lto_link_targets})
  if(TARGET ${target})
    target_link_options(${target} PRIVATE -flto=auto)
  endif()
endforeach()
target_link_options(corvan_base INTERFACE
  "$<$<NOT:$<IN_LIST:$<TARGET_PROPERTY:NAME>,${lto_link_targets}>>:-fno-lto>")
message(STATUS "Profile-guided build: profile from ${pgo_data}, link-time optimisation of ${lto_link_targets}")

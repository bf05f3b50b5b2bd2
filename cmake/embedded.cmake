# Data assembled into the engine, the tests and the benchmarks (target
# corvan_data), kept out of corvan_core so that the tool which makes the
# default network can link the core without a network.

# The network image to embed. Empty: the bootstrap network, written at build
# time by corvan-netbuild.
set(CORVAN_NETWORK "" CACHE FILEPATH "Network image file to embed (empty: build the bootstrap network)")

if(CORVAN_NETWORK)
  get_filename_component(CORVAN_NETWORK_IMAGE "${CORVAN_NETWORK}" ABSOLUTE)
  if(NOT EXISTS "${CORVAN_NETWORK_IMAGE}")
    message(FATAL_ERROR "CORVAN_NETWORK: no file ${CORVAN_NETWORK_IMAGE}")
  endif()
else()
  set(CORVAN_NETWORK_IMAGE ${CMAKE_BINARY_DIR}/corvan-bootstrap.nnue)
  add_custom_command(OUTPUT ${CORVAN_NETWORK_IMAGE}
    COMMAND corvan-netbuild ${CORVAN_NETWORK_IMAGE}
    DEPENDS corvan-netbuild
    COMMENT "Writing the bootstrap network"
    VERBATIM)
endif()

set(CORVAN_NETWORK_SOURCE ${CMAKE_SOURCE_DIR}/src/eval/embedded/network_image.S)
set_source_files_properties(${CORVAN_NETWORK_SOURCE} PROPERTIES
  OBJECT_DEPENDS ${CORVAN_NETWORK_IMAGE}
  COMPILE_DEFINITIONS "CORVAN_NETWORK_FILE=\"${CORVAN_NETWORK_IMAGE}\"")
add_library(corvan_network_data OBJECT ${CORVAN_NETWORK_SOURCE} ${CORVAN_NETWORK_IMAGE})
# Object files of an object library reach only its direct consumers, so the
# interface target names them explicitly for everything that links it.
target_link_libraries(corvan_data INTERFACE corvan_network_data $<TARGET_OBJECTS:corvan_network_data>)

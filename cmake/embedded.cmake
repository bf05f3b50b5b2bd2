# Data assembled into the engine, the tests and the benchmarks (target
# corvan_data), kept out of corvan_core so that the tool which makes the
# default network can link the core without a network.
include(${CMAKE_CURRENT_LIST_DIR}/checknetwork.cmake)

# The network image to embed: by default the trained network shipped in
# nets/ (xz-compressed, unpacked and checked at build time); with
# CORVAN_BOOTSTRAP_NETWORK the bootstrap network that corvan-netbuild writes;
# with CORVAN_NETWORK any image file.
set(CORVAN_NETWORK "" CACHE FILEPATH "Network image file to embed (empty: the shipped network)")
option(CORVAN_BOOTSTRAP_NETWORK "Embed the bootstrap network instead of the shipped trained one" OFF)
include(${CMAKE_CURRENT_LIST_DIR}/shippednetwork.cmake)

if(CORVAN_NETWORK)
  get_filename_component(CORVAN_NETWORK_IMAGE "${CORVAN_NETWORK}" ABSOLUTE)
  corvan_check_network("${CORVAN_NETWORK_IMAGE}")
elseif(CORVAN_BOOTSTRAP_NETWORK OR NOT EXISTS ${CORVAN_SHIPPED_NETWORK})
  set(CORVAN_NETWORK_IMAGE ${CMAKE_BINARY_DIR}/corvan-bootstrap.nnue)
  add_custom_command(OUTPUT ${CORVAN_NETWORK_IMAGE}
    COMMAND corvan-netbuild ${CORVAN_NETWORK_IMAGE}
    DEPENDS corvan-netbuild
    COMMENT "Writing the bootstrap network"
    VERBATIM)
else()
  find_program(XZ_PROGRAM xz REQUIRED)
  get_filename_component(shipped_name ${CORVAN_SHIPPED_NETWORK} NAME_WE)
  set(CORVAN_NETWORK_IMAGE ${CMAKE_BINARY_DIR}/${shipped_name}.nnue)
  add_custom_command(OUTPUT ${CORVAN_NETWORK_IMAGE}
    COMMAND ${CMAKE_COMMAND} -E copy ${CORVAN_SHIPPED_NETWORK} ${CORVAN_NETWORK_IMAGE}.part.xz
    COMMAND ${XZ_PROGRAM} -d -f ${CORVAN_NETWORK_IMAGE}.part.xz
    COMMAND ${CMAKE_COMMAND} -DIMAGE=${CORVAN_NETWORK_IMAGE}.part -P ${CMAKE_CURRENT_LIST_DIR}/checknetwork.cmake
    COMMAND ${CMAKE_COMMAND} -E rename ${CORVAN_NETWORK_IMAGE}.part ${CORVAN_NETWORK_IMAGE}
    DEPENDS ${CORVAN_SHIPPED_NETWORK}
    COMMENT "Unpacking the network ${shipped_name}"
    VERBATIM)
endif()
message(STATUS "Network image: ${CORVAN_NETWORK_IMAGE}")

set(CORVAN_NETWORK_SOURCE ${CMAKE_SOURCE_DIR}/src/eval/embedded/network_image.S)
set_source_files_properties(${CORVAN_NETWORK_SOURCE} PROPERTIES
  OBJECT_DEPENDS ${CORVAN_NETWORK_IMAGE}
  COMPILE_DEFINITIONS "CORVAN_NETWORK_FILE=\"${CORVAN_NETWORK_IMAGE}\"")
add_library(corvan_network_data OBJECT ${CORVAN_NETWORK_SOURCE} ${CORVAN_NETWORK_IMAGE})
# Object files of an object library reach only its direct consumers, so the
# interface target names them explicitly for everything that links it.
target_link_libraries(corvan_data INTERFACE corvan_network_data $<TARGET_OBJECTS:corvan_network_data>)

# Refuses a network image that the engine could not use: run as
#   cmake -DIMAGE=FILE -P checknetwork.cmake
# or included with CORVAN_CHECK_IMAGE set. An image has 20,990,804 bytes and
# ends with the four decimal-bit fields 4, 3, 3, 2 (i32 little-endian).
function(corvan_check_network image)
  if(NOT EXISTS "${image}")
    message(FATAL_ERROR "Network image ${image} does not exist")
  endif()
  file(SIZE "${image}" size)
  if(NOT size EQUAL 20990804)
    message(FATAL_ERROR "Network image ${image} has ${size} bytes; a network image has 20990804. Not embedded.")
  endif()
  file(READ "${image}" bits OFFSET 20990788 LIMIT 16 HEX)
  if(NOT bits STREQUAL "04000000030000000300000002000000")
    message(FATAL_ERROR "Network image ${image} has decimal-bit fields ${bits}; the engine needs 4, 3, 3, 2. Not embedded.")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND IMAGE)
  corvan_check_network("${IMAGE}")
endif()

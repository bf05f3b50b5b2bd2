# The engine's layers, one static library each, from the bottom up:
#
#   corvan_base       the platform: clock, threads, locks
#   corvan_board      positions, moves, move generation, move text
#   corvan_eval       the network                        (board)
#   corvan_tablebase  the endgame tables                 (board)
#   corvan_book       the opening book                   (board)
#   corvan_search     limits, time, the search           (eval, tablebase)
#   corvan_driver     options, the protocol, commands    (search, book)
#
# A layer links only the layers below it, and it sees only their headers:
# each library compiles against a folder of links to its own source folder
# and those of the layers below (build/layers/<layer>/), so an include that
# reaches upwards names a file that is not there and the build fails.
# corvan_core stands for the whole engine below its entry, for the tools and
# tests that need it all.
# The folder of the views. The profile-guided build points its instrumented
# tree and its final tree at the same one: the compiler checks a profiled
# function's source location, header path included, so views at two paths
# would make it drop the counts of every inline function in a header.
set(CORVAN_LAYER_DIR "${CMAKE_BINARY_DIR}/layers" CACHE PATH "Folder of the layers' include views")
set(CORVAN_LAYERS base board eval tablebase book search driver)
set(CORVAN_LAYER_BELOW_base "")
set(CORVAN_LAYER_BELOW_board base)
set(CORVAN_LAYER_BELOW_eval board)
set(CORVAN_LAYER_BELOW_tablebase board)
set(CORVAN_LAYER_BELOW_book board)
set(CORVAN_LAYER_BELOW_search eval tablebase)
set(CORVAN_LAYER_BELOW_driver search book)

foreach(layer ${CORVAN_LAYERS})
  # The folders this layer may include: its own and, recursively, those below.
  set(visible ${layer})
  set(pending ${CORVAN_LAYER_BELOW_${layer}})
  while(pending)
    list(POP_FRONT pending below)
    if(NOT below IN_LIST visible)
      list(APPEND visible ${below})
      list(APPEND pending ${CORVAN_LAYER_BELOW_${below}})
    endif()
  endwhile()
  set(view ${CORVAN_LAYER_DIR}/${layer})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${visible})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${layer}/*.cpp)
  add_library(corvan_${layer} STATIC ${sources})
  target_include_directories(corvan_${layer} PUBLIC ${view})
  foreach(below ${CORVAN_LAYER_BELOW_${layer}})
    target_link_libraries(corvan_${layer} PUBLIC corvan_${below})
  endforeach()
endforeach()
target_link_libraries(corvan_base PUBLIC Threads::Threads)

add_library(corvan_core INTERFACE)
target_link_libraries(corvan_core INTERFACE corvan_driver)

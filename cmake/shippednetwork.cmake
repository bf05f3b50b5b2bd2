# The trained network built into the engine and the browser modules
# (scripts/network.sh promote rewrites this line).
get_filename_component(CORVAN_SHIPPED_NETWORK ${CMAKE_CURRENT_LIST_DIR}/../nets/corvan-gen6.nnue.xz ABSOLUTE)

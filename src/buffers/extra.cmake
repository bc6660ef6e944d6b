# ostrel-convert: converts data files between raw binary, Intel HEX and
# S-record with the program's own loader and writers.
add_executable(ostrel-convert ${CMAKE_CURRENT_LIST_DIR}/tool/convert_main.cpp)
target_link_libraries(ostrel-convert PRIVATE ostrel_core)
set_target_properties(ostrel-convert PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OSTREL_BIN_DIR})

# The board's page, style sheet and script, compiled into the line server's
# library (cmake/embed_files.cmake writes their bytes into a source file).
set(board_dir ${CMAKE_CURRENT_SOURCE_DIR}/line/board)
set(board_files "${board_dir}/index.html|/|html" "${board_dir}/board.css|/board/board.css|css"
                "${board_dir}/board.js|/board/board.js|javascript")
set(board_embedded ${CMAKE_CURRENT_BINARY_DIR}/board_files.cpp)
add_custom_command(
    OUTPUT ${board_embedded}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${board_embedded} "-DFILES=${board_files}"
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_files.cmake
    DEPENDS ${board_dir}/index.html ${board_dir}/board.css ${board_dir}/board.js
            ${CMAKE_SOURCE_DIR}/cmake/embed_files.cmake
    COMMENT "Compiling the board's page into the line server"
    VERBATIM)
target_sources(ostrel_line PRIVATE ${board_embedded})
target_include_directories(ostrel_line PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})

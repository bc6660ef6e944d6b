# The chip panel's socket pictures: JPEG files built into the program as byte
# arrays and decoded with libjpeg's own API.
find_package(JPEG REQUIRED)
target_link_libraries(ostrel_windows PUBLIC JPEG::JPEG)

set(socket_pictures ${CMAKE_CURRENT_LIST_DIR}/ui/pictures/J0.jpg
                    ${CMAKE_CURRENT_LIST_DIR}/ui/pictures/J1.jpg)
set(socket_pictures_cpp ${CMAKE_CURRENT_BINARY_DIR}/socket_picture_data.cpp)
add_custom_command(
    OUTPUT ${socket_pictures_cpp}
    COMMAND ${CMAKE_COMMAND} "-DPICTURES=${socket_pictures}" -DOUT=${socket_pictures_cpp}
            -P ${CMAKE_CURRENT_LIST_DIR}/ui/pictures/embed.cmake
    DEPENDS ${socket_pictures} ${CMAKE_CURRENT_LIST_DIR}/ui/pictures/embed.cmake
    COMMENT "Embedding the socket pictures"
    VERBATIM)
target_sources(ostrel_windows PRIVATE ${socket_pictures_cpp})

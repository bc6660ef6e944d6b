# ostrel-convert: converts data files between raw binary, Intel HEX and
# S-record with the program's own loader and writers.
add_executable(ostrel-convert ${CMAKE_CURRENT_LIST_DIR}/tool/convert_main.cpp)
target_link_libraries(ostrel-convert PRIVATE ostrel_core)
set_target_properties(ostrel-convert PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OSTREL_BIN_DIR})

# Checksums of the buffers: CRC-32 from zlib, SHA-256 from libcrypto.
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(ostrel_core PUBLIC ZLIB::ZLIB OpenSSL::Crypto)

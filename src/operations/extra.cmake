# The production log's CRC-32 comes from zlib.
find_package(ZLIB REQUIRED)
target_link_libraries(ostrel_core PUBLIC ZLIB::ZLIB)

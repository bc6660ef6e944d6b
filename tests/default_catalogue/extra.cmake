# The shipped catalogue is made by the build; the test reads it and runs the
# tool that makes it, and holds it against the flash facts in tests/data.
add_dependencies(${exe} ostrel_default_catalogue)
target_link_libraries(${exe} PRIVATE ostrel_chip_table)
target_compile_definitions(${exe} PRIVATE
    OSTREL_MAKE_CATALOGUE="$<TARGET_FILE:ostrel_make_catalogue>"
    OSTREL_FLASH_FACTS="${CMAKE_SOURCE_DIR}/tests/data/spi-flash-facts.tsv")

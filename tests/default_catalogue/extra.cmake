# The shipped catalogue is made by the build; the test reads it and runs the
# tool that makes it. The flash facts table lies beside the repository (shared/
# next to the checkout), where the outside cross-check looks for it.
add_dependencies(${exe} ostrel_default_catalogue)
target_link_libraries(${exe} PRIVATE ostrel_chip_table)
target_compile_definitions(${exe} PRIVATE
    OSTREL_MAKE_CATALOGUE="$<TARGET_FILE:ostrel_make_catalogue>"
    OSTREL_FLASH_FACTS="${CMAKE_SOURCE_DIR}/../shared/data/spi-flash-facts.tsv")

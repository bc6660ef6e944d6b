# The core test programs for Windows, built with GoogleTest from its Debian
# source package and run under Wine (CMAKE_CROSSCOMPILING_EMULATOR). The
# window's tests need Qt and stay on Linux; so do the tests that drive a Linux
# facility (device nodes, udev, FIFOs, /dev/full, /proc, file size limits,
# other users, signals), listed below with their reason.
set(OSTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(saved_options ${CMAKE_CXX_FLAGS})
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# GoogleTest is built as it comes, without our warnings as errors.
get_directory_property(our_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${OSTREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${our_options}")

set(tests ${CMAKE_SOURCE_DIR}/tests)
add_library(ostrel_test_support STATIC ${tests}/support/scripted_ui.cpp
                                       ${tests}/support/test_main_core.cpp)
target_include_directories(ostrel_test_support PUBLIC ${tests})
target_link_libraries(ostrel_test_support PUBLIC ostrel_core gtest gmock)

# Left out, with the reason:
set(linux_only
    # the connection monitor and its udev rule: the window's, Linux only
    usb/device_change_test.cpp usb/udev_rule_test.cpp
    # the boot loader through the hidapi stand-in (Windows speaks to hid.dll)
    firmware/hid_device_test.cpp firmware/firmware_upgrade_test.cpp
    firmware/bootloader_model_test.cpp
    # the doctor's Linux findings and advice (udev rules, device nodes, /proc)
    firmware/diagnosis_test.cpp
    # ostrel-cli as a process, its JSON read with Qt, and FIFOs, signals and /proc
    cli/cli_test.cpp cli/production_line_test.cpp cli/programmers_test.cpp
    # POSIX files: FIFOs, /dev/full, file size limits, other users
    codecs/convert_test.cpp codecs/fuzz_test.cpp
    codecs/interop_test.cpp codecs/fuzz_corpus_objcopy_test.cpp
    base/settings_paths_test.cpp
    # the line server, a Linux program, started as a process
    production/station_over_line_test.cpp
    # the catalogue's source table read through POSIX files, and the layering
    # check, which reads the source tree the same way on both
    default_catalogue/chip_table_test.cpp layering/layering_test.cpp)

foreach(area base catalogue buffers codecs operations production usb sim simconfig firmware cli
             default_catalogue)
    file(GLOB area_src CONFIGURE_DEPENDS ${tests}/${area}/*.cpp)
    foreach(skip IN LISTS linux_only)
        list(REMOVE_ITEM area_src ${tests}/${skip})
    endforeach()
    if(NOT area_src)
        continue()
    endif()
    set(exe test_${area})
    add_executable(${exe} ${area_src})
    target_link_libraries(${exe} PRIVATE ostrel_test_support ostrel_sim)
    set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_compile_definitions(${exe} PRIVATE
        OSTREL_SIM_DIR="${OSTREL_SIM_DIR}"
        # The simulator the test program links, already loaded by that name.
        OSTREL_SIM_LIBRARY="libusb0.dll"
        OSTREL_BIN_DIR="${OSTREL_BIN_DIR}"
        OSTREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        OSTREL_TEST_DATA_DIR="${tests}/data")
    add_test(NAME ${exe} COMMAND ${exe} --gtest_brief=1)
    # The test programs find the simulator (libusb0.dll) beside them.
    add_custom_command(TARGET ${exe} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrel_sim>
                ${CMAKE_BINARY_DIR}/tests/
        VERBATIM)
endforeach()
target_sources(test_cli PRIVATE ${src}/cli/cli_presenter.cpp ${src}/cli/outcome_lines.cpp)
target_link_libraries(test_default_catalogue PRIVATE ostrel_chip_table)
add_dependencies(test_default_catalogue ostrel_default_catalogue)
target_compile_definitions(test_default_catalogue PRIVATE
    OSTREL_MAKE_CATALOGUE="$<TARGET_FILE:ostrel_make_catalogue>"
    OSTREL_FLASH_FACTS="${tests}/data/spi-flash-facts.tsv")

# ostrel-cli.exe itself against the simulator: the chip commands, a Chinese
# file name, the production log, Ctrl+C.
add_test(NAME wine_cli_commands
         COMMAND bash ${tests}/wine/cli_commands.sh ${CMAKE_BINARY_DIR})
set_tests_properties(wine_cli_commands PROPERTIES TIMEOUT 300)

# The line: two Linux stations and ostrel-cli.exe on one line server, which is
# the Linux build's (scripts/test builds it before this one).
set(OSTREL_LINUX_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH
    "The Linux build whose ostrel-line and ostrel-cli the line test runs")
add_test(NAME wine_line_stations
         COMMAND bash ${tests}/wine/line_stations.sh ${OSTREL_LINUX_BUILD} ${CMAKE_BINARY_DIR})
set_tests_properties(wine_line_stations PROPERTIES TIMEOUT 300)

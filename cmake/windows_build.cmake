# The Windows build (cross-built with cmake/mingw-w64-x86_64.cmake): the
# command-line programs on the same core, the programmer simulator as
# libusb0.dll and the core test programs, run under Wine. No window: the core
# links no Qt. Left out: the production database's clients (--db says it is
# not available in this build; a station records its chips through the line
# server with WinHTTP) and the USB device notifications, which only the
# window uses.
find_package(Threads REQUIRED)
# zlib (CRC-32) is linked in too.
find_library(OSTREL_STATIC_ZLIB NAMES libz.a REQUIRED)

set(OSTREL_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(OSTREL_SIM_DIR ${CMAKE_BINARY_DIR}/sim)
# The compiler's own libraries are linked in: the programs need no DLL but the system's.
add_link_options(-static -static-libgcc -static-libstdc++)
enable_testing()

set(src ${CMAKE_SOURCE_DIR}/src)
set(core_src)
foreach(sub base catalogue usb buffers operations firmware production)
    file(GLOB sub_src CONFIGURE_DEPENDS ${src}/${sub}/*.cpp)
    list(APPEND core_src ${sub_src})
endforeach()
list(FILTER core_src EXCLUDE REGEX
     "/(platform_posix|platform_http_posix|device_change|hid_device|sqlite_connection|postgres_connection)\\.cpp$")
list(APPEND core_src ${src}/base/platform_windows.cpp ${src}/base/platform_http_windows.cpp
     ${src}/firmware/hid_device_windows.cpp ${src}/production/sql_unavailable.cpp)
add_library(ostrel_core STATIC ${core_src})
target_include_directories(ostrel_core PUBLIC ${src})
target_link_libraries(ostrel_core PUBLIC ${OSTREL_STATIC_ZLIB} Threads::Threads bcrypt setupapi hid shell32
                                         winhttp)
# The line server's JSON: nlohmann-json is header-only, and its folder is
# taken alone (not all of /usr/include, which is the build machine's).
set(OSTREL_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
file(COPY /usr/include/nlohmann DESTINATION ${OSTREL_JSON_INCLUDE})
target_include_directories(ostrel_core PRIVATE ${OSTREL_JSON_INCLUDE})

file(GLOB cli_src CONFIGURE_DEPENDS ${src}/cli/*.cpp)
add_executable(ostrel-cli ${cli_src})
target_link_libraries(ostrel-cli PRIVATE ostrel_core)
target_compile_definitions(ostrel-cli PRIVATE OSTREL_VERSION="${PROJECT_VERSION}")
add_executable(ostrel-convert ${src}/buffers/tool/convert_main.cpp)
target_link_libraries(ostrel-convert PRIVATE ostrel_core)
set_target_properties(ostrel-cli ostrel-convert PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                           ${OSTREL_BIN_DIR})

# The catalogue, made by the same tool (run under Wine) beside the programs.
add_library(ostrel_chip_table STATIC ${CMAKE_SOURCE_DIR}/resources/chip_table.cpp)
target_include_directories(ostrel_chip_table PUBLIC ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(ostrel_chip_table PUBLIC ostrel_core)
add_executable(ostrel_make_catalogue ${CMAKE_SOURCE_DIR}/resources/make_catalogue.cpp)
target_link_libraries(ostrel_make_catalogue PRIVATE ostrel_chip_table)
set(OSTREL_DEFAULT_CATALOGUE ${OSTREL_BIN_DIR}/ostrel.Dat)
add_custom_command(
    OUTPUT ${OSTREL_DEFAULT_CATALOGUE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTREL_BIN_DIR}
    COMMAND ostrel_make_catalogue ${CMAKE_SOURCE_DIR}/resources/chips.txt
            ${OSTREL_DEFAULT_CATALOGUE}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/chips.txt ostrel_make_catalogue
    COMMENT "Making the default chip catalogue ostrel.Dat"
    VERBATIM)
add_custom_target(ostrel_default_catalogue ALL DEPENDS ${OSTREL_DEFAULT_CATALOGUE})
add_dependencies(ostrel-cli ostrel_default_catalogue)

# The simulator stands in for libusb0.dll; it lives in a folder of its own so
# that only a program started with that folder on its search path binds it.
file(GLOB sim_src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
add_library(ostrel_sim SHARED ${sim_src})
target_include_directories(ostrel_sim PUBLIC ${CMAKE_SOURCE_DIR}/sim PRIVATE ${src})
target_link_libraries(ostrel_sim PRIVATE Threads::Threads)
set_target_properties(ostrel_sim PROPERTIES OUTPUT_NAME usb0 PREFIX lib
                                            RUNTIME_OUTPUT_DIRECTORY ${OSTREL_SIM_DIR}
                                            ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

if(OSTREL_WINDOWS_TESTS)
    include(${CMAKE_CURRENT_LIST_DIR}/windows_tests.cmake)
endif()

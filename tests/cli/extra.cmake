# The command line is tested as a process: the tests need the programs, the
# catalogue and the simulator built, and Qt's JSON reader to check --json.
add_dependencies(${exe} ostrel-cli ostrel-convert ostrel_default_catalogue)
target_link_libraries(${exe} PRIVATE Qt6::Core)
if(TARGET ostrel_sim_hid)
    add_dependencies(${exe} ostrel_sim_hid)
endif()
# The command line's presenter is plain code of its own: tested over reports.
target_sources(${exe} PRIVATE ${CMAKE_SOURCE_DIR}/src/cli/cli_presenter.cpp
                              ${CMAKE_SOURCE_DIR}/src/cli/outcome_lines.cpp)

# Bash completion for ostrel-cli, installed where bash-completion looks for
# it. Its pkg-config file names the folder; we take that folder relative to
# bash-completion's own prefix, so that the package (prefix /usr) lands in the
# system's folder and an install to another prefix stays inside that prefix.
set(OSTREL_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
    pkg_get_variable(OSTREL_BC_DIR bash-completion completionsdir)
    pkg_get_variable(OSTREL_BC_PREFIX bash-completion prefix)
    string(FIND "${OSTREL_BC_DIR}" "${OSTREL_BC_PREFIX}/" below)
    if(OSTREL_BC_DIR AND OSTREL_BC_PREFIX AND below EQUAL 0)
        string(LENGTH "${OSTREL_BC_PREFIX}/" skip)
        string(SUBSTRING "${OSTREL_BC_DIR}" ${skip} -1 OSTREL_COMPLETIONS_DIR)
    endif()
endif()
# The script itself is made from ostrel-cli's option and command tables.
set(OSTREL_COMPLETION ${CMAKE_BINARY_DIR}/packaging/bash-completion/ostrel-cli)
add_custom_command(
    OUTPUT ${OSTREL_COMPLETION}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/bash-completion
    COMMAND ostrel-cli-completion ${CMAKE_CURRENT_LIST_DIR}/ostrel-cli.in ${OSTREL_COMPLETION}
    DEPENDS ostrel-cli-completion ${CMAKE_CURRENT_LIST_DIR}/ostrel-cli.in
    VERBATIM)
add_custom_target(ostrel_bash_completion ALL DEPENDS ${OSTREL_COMPLETION})
install(FILES ${OSTREL_COMPLETION} DESTINATION ${OSTREL_COMPLETIONS_DIR})

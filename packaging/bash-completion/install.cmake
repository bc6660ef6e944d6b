# Bash completion for ostrel-cli, installed where bash-completion looks for
# it. Its pkg-config file names the folder; we take that folder relative to
# bash-completion's own prefix, so that the package (prefix /usr) lands in the
# system's folder and an install to another prefix stays inside that prefix.
if(NOT TARGET ostrel-cli)
    return()
endif()
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
install(FILES ${CMAKE_CURRENT_LIST_DIR}/ostrel-cli DESTINATION ${OSTREL_COMPLETIONS_DIR})

# The line server's core, the board's tables and routes among it; the
# station interface is tested against a running ostrel-line, so the program
# is built first.
target_link_libraries(${exe} PRIVATE ostrel_line)
add_dependencies(${exe} ostrel-line)
# The board in headless Chromium against an ostrel-line of the test's own.
# It fails, never skips, when the browser cannot start; the plain build runs
# it (the sanitizers see nothing of the page).
if(NOT OSTREL_SANITIZE)
    add_test(NAME board_browser
             COMMAND /usr/bin/python3 ${dir}/board_browser_test.py
                     --line $<TARGET_FILE:ostrel-line> --cli $<TARGET_FILE:ostrel-cli>)
    set_tests_properties(board_browser PROPERTIES TIMEOUT 180)
endif()

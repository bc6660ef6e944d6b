# The board's tables and routes.
if(TARGET ostrel_board)
    target_link_libraries(${exe} PRIVATE ostrel_board)
endif()

# The operations are tested against the programmer simulator, whose control
# functions the tests call directly.
if(TARGET ostrel_sim)
    target_link_libraries(${exe} PRIVATE ostrel_sim)
endif()
# A station on the line server runs the server program itself.
if(TARGET ostrel-line)
    add_dependencies(${exe} ostrel-line)
endif()

# The operations are tested against the programmer simulator, whose control
# functions the tests call directly.
if(TARGET ostrel_sim)
    target_link_libraries(${exe} PRIVATE ostrel_sim)
endif()

# The transport tests drive the simulator and set it up through its control interface.
target_link_libraries(${exe} PRIVATE ostrel_sim)

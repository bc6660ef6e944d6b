# The main window is driven against the programmer simulator and the shipped catalogue.
target_link_libraries(${exe} PRIVATE ostrel_sim)
if(TARGET ostrel_default_catalogue)
    add_dependencies(${exe} ostrel_default_catalogue)
endif()
# The Hardware command talks to the boot loader through the HID stand-in.
if(TARGET ostrel_sim_hid)
    add_dependencies(${exe} ostrel_sim_hid)
endif()

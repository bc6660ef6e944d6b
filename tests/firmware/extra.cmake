# The firmware tests drive the programmer simulator through both stand-ins: the
# USB one for the switch to the boot loader, the HID one for the boot loader.
target_link_libraries(${exe} PRIVATE ostrel_sim)
add_dependencies(${exe} ostrel_sim_hid)

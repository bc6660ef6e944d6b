# The converter's exit codes are tested by running it.
if(TARGET ostrel-convert)
    add_dependencies(${exe} ostrel-convert)
endif()

# The connection monitor hears of USB arrivals and removals through libudev.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
target_link_libraries(ostrel_core PUBLIC PkgConfig::UDEV)

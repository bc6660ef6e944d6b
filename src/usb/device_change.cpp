#include "usb/device_change.h"

#include <libudev.h>

#include <cstring>

namespace ostrel {
namespace {

class UdevSource : public DeviceChangeSource {
  public:
    UdevSource(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
    ~UdevSource() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevSource(const UdevSource&) = delete;
    UdevSource& operator=(const UdevSource&) = delete;

    int fd() const override { return udev_monitor_get_fd(monitor_); }

    int drain() override {
        // The monitor's socket is non-blocking: receiving stops when nothing is left.
        int count = 0;
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            count += deviceCameOrWent(udev_device_get_action(device));
            udev_device_unref(device);
        }
        return count;
    }

  private:
    udev* udev_;
    udev_monitor* monitor_;
};

}  // namespace

bool deviceCameOrWent(const char* action) {
    return action != nullptr &&
           (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
}

std::unique_ptr<DeviceChangeSource> openUdevDeviceChangeSource() {
    udev* context = udev_new();
    if (!context) return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    // Whole devices only: one plug also announces each of its interfaces.
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevSource>(context, monitor);
}

}  // namespace ostrel

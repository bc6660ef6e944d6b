#pragma once
// Where the connection monitor learns that USB devices came or went. The
// window watches the descriptor with its event loop and, when it becomes
// readable, takes the pending notifications and runs one presence check.

#include <memory>

namespace ostrel {

class DeviceChangeSource {
  public:
    virtual ~DeviceChangeSource() = default;
    // A descriptor that becomes readable when devices have changed.
    virtual int fd() const = 0;
    // Takes every pending notification without blocking; returns how many of
    // them were arrivals or removals (deviceCameOrWent).
    virtual int drain() = 0;
};

// Whether a notification's action ("add", "remove", "bind", "change", ...)
// is a device arriving or leaving: only those can make the programmer appear
// or disappear. A driver binding to a device, or a change of its attributes,
// happens after the arrival that was already counted.
bool deviceCameOrWent(const char* action);

// Arrivals and removals of USB devices as udev announces them, for any
// device, not only the programmer: a hub or a cable change can also free or
// take the programmer's interface. nullptr when udev cannot be reached (a
// container without its netlink socket); the monitor then runs only on
// activation.
std::unique_ptr<DeviceChangeSource> openUdevDeviceChangeSource();

}  // namespace ostrel

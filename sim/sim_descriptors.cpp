// The USB descriptors the host reads while it scans the bus: built from a
// device's IDs, strings and shape whenever one of them changes.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim_internal.h"

namespace ostrel_sim {

void rebuildDescriptors(Device& d) {
    if (!d.usbDevice) {
        d.usbDevice = std::make_unique<UsbDevice>();
        std::memset(d.usbDevice.get(), 0, sizeof(UsbDevice));
    }
    UsbDevice* u = d.usbDevice.get();
    std::snprintf(u->filename, sizeof u->filename, "%03d", d.index + 1);
    u->devnum = static_cast<uint8_t>(d.index + 1);
    usb_device_descriptor& desc = u->descriptor;
    desc.bLength = 18;
    desc.bDescriptorType = 1;
    desc.bcdUSB = 0x0200;
    desc.bMaxPacketSize0 = 64;
    desc.idVendor = static_cast<uint16_t>(d.vendorId);
    desc.idProduct = static_cast<uint16_t>(d.productId);
    desc.bcdDevice = 0x0100;
    desc.iManufacturer = d.hasManufacturer ? 1 : 0;
    desc.iProduct = d.hasProduct ? 2 : 0;
    desc.iSerialNumber = 0;
    desc.bNumConfigurations = static_cast<uint8_t>(std::max(0, d.configurations));

    d.altsetting = std::make_unique<usb_interface_descriptor>();
    std::memset(d.altsetting.get(), 0, sizeof(usb_interface_descriptor));
    d.altsetting->bLength = 9;
    d.altsetting->bDescriptorType = 4;
    d.altsetting->bInterfaceNumber = static_cast<uint8_t>(d.interfaceNumber);
    d.altsetting->bNumEndpoints = 0;  // the host never looks at them
    d.altsetting->bInterfaceClass = 0xFF;

    // A configuration that lists no interface still has a table, so that its
    // count alone says so; the table is null only when asked for.
    const int interfaces = std::max(0, d.interfaces);
    const int tableSize = std::max(1, interfaces);
    d.usbInterfaces.reset(new usb_interface[tableSize]);
    for (int i = 0; i < tableSize; ++i) {
        d.usbInterfaces[i].altsetting = d.altsetting.get();
        d.usbInterfaces[i].num_altsetting = 1;
    }
    const int configurations = std::max(0, d.configurations);
    d.configs.reset(configurations > 0 ? new usb_config_descriptor[configurations] : nullptr);
    for (int i = 0; i < configurations; ++i) {
        usb_config_descriptor& c = d.configs[i];
        std::memset(&c, 0, sizeof c);
        c.bLength = 9;
        c.bDescriptorType = 2;
        c.bNumInterfaces = static_cast<uint8_t>(interfaces);
        c.bConfigurationValue = static_cast<uint8_t>(i + 1);
        c.interface = d.nullInterfaceTable ? nullptr : d.usbInterfaces.get();
    }
    u->config = d.configs.get();
}

// The descriptors count configurations and interfaces in one byte each, and
// a number past that would only allocate lists the host cannot be told about.
bool descriptorShapeValid(long long configurations, long long interfaces,
                          long long interfaceNumber) {
    return configurations >= 0 && configurations <= 255 && interfaces >= 0 && interfaces <= 255 &&
           interfaceNumber >= 0 && interfaceNumber <= 255;
}

}  // namespace ostrel_sim

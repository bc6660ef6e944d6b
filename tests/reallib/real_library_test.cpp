// Binds the USB library the system installs (no simulator on this program's
// library path) and looks for a programmer that is not attached.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

TEST(RealLibrary, FindsNoProgrammerAndDoesNotCrash) {
    TUsbBulk usb;
    usb.setPause([](int) {});
    EXPECT_EQ(usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                            kProgrammerProductText),
              0);
    EXPECT_FALSE(usb.isOpen());
    uint8_t packet[kPacketSize] = {0, 12};
    EXPECT_EQ(usb.USB_bulk_cmd(packet, kPacketSize, 1), 0) << "nothing was sent";
    usb.USB_bulk_close();

    // Make sure it was the real library that answered, not the simulator.
    void* library = dlopen("libusb-0.1.so.4", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << "prog_open loaded the library";
    EXPECT_EQ(dlsym(library, "ostrel_sim_reset"), nullptr);
    dlclose(library);
}

}  // namespace
}  // namespace ostrel

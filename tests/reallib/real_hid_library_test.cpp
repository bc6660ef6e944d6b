// Binds the HID library the system installs and looks for a boot loader that
// is not attached.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "firmware/firmware_upgrade.h"
#include "firmware/hid_device.h"

namespace ostrel {
namespace {

TEST(RealLibrary, FindsNoBootLoaderAndMovesNothing) {
    HidDevice hid;
    EXPECT_NE(hid.findAndOpen(kBootLoaderVendorId, kBootLoaderManufacturer, kBootLoaderProductId,
                              kBootLoaderProduct),
              HidFound);
    EXPECT_FALSE(hid.isOpen());
    uint8_t report[kReportSize] = {kIapReportId, IapStart};
    EXPECT_EQ(hid.writeReport(report, kReportSize), 0);

    void* library = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << "findAndOpen loaded the library";
    EXPECT_EQ(dlsym(library, "ostrel_simhid_enumerate"), nullptr);
    dlclose(library);
}

}  // namespace
}  // namespace ostrel

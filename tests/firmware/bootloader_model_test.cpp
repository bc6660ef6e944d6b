// The simulated boot loader itself: it takes only well-formed reports in their
// order, and the text configuration sets it up.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/firmware_upgrade.h"
#include "ostrel_sim.h"
#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

Report withByte(Report r, int at, uint8_t value) {
    r[at] = value;
    return r;
}

TEST(BootLoaderModel, RefusesReportsOutOfOrderOrMalformed) {
    const uint32_t target = 0x08003000;
    const Report start = iapReport(IapStart), query = iapReport(IapQuery);
    const Report prepare62 = iapPrepareReport(target, 1, 62);
    const uint8_t data[62] = {};
    const Report dataReport = iapDataReport(data);
    struct Case {
        const char* name;
        std::vector<Report> accepted;  // sent first, all taken
        Report refused;
        int length;
    };
    const Case cases[] = {
        {"IapQuery before IapStart", {}, query, 64},
        {"IapPrepare before IapQuery", {start}, prepare62, 64},
        {"IapData before IapPrepare", {start, query}, dataReport, 64},
        {"IapFinish before the data", {start, query, prepare62}, iapReport(IapFinish), 64},
        {"data beyond the announced length", {start, query, prepare62, dataReport}, dataReport, 64},
        {"report ID 2", {}, withByte(start, 0, 2), 64},
        {"a 63-byte report", {}, start, 63},
        {"unknown code", {}, withByte(start, 1, 9), 64},
        {"a stray byte in IapStart", {}, withByte(start, 40, 1), 64},
        {"another target", {start, query}, iapPrepareReport(target + 0x400, 1, 62), 64},
        {"a wrong block count", {start, query}, iapPrepareReport(target, 2, 62), 64},
        {"an empty image", {start, query}, iapPrepareReport(target, 0, 0), 64},
        {"a stray byte after IapPrepare's fields", {start, query}, withByte(prepare62, 11, 1), 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ostrel_sim_reset();
        const int programmer = ostrel_sim_add_programmer(1);
        ostrel_sim_set_bootloader(programmer, 0);
        ostrel_sim_set_bootloader_present(programmer, 1);
        HidDevice hid(OSTREL_SIM_DIR "/libhidapi-hidraw.so.0");
        ASSERT_EQ(hid.findAndOpen(kBootLoaderVendorId, kBootLoaderManufacturer,
                                  kBootLoaderProductId, kBootLoaderProduct),
                  HidFound);
        Report reply{};
        for (const Report& r : c.accepted) {
            ASSERT_EQ(hid.writeReport(r.data(), 64), 64);
            if (r[1] != IapData) {
                ASSERT_GT(hid.readReport(reply.data(), 64), 0);
            }
        }
        EXPECT_EQ(ostrel_sim_protocol_error_count(), 0);
        EXPECT_EQ(hid.writeReport(c.refused.data(), c.length), 0);
        EXPECT_EQ(ostrel_sim_protocol_error_count(), 1);
        EXPECT_EQ(ostrel_sim_bootloader_finished(programmer), 0);
    }
    ostrel_sim_reset();
}

TEST(BootLoaderModel, TextConfigurationGivesTheProgrammerItsBootLoader) {
    ASSERT_EQ(
        ostrel_sim_configure_text("programmer bus=1 bootloader=1 block_size=512 target=0x08005000\n"
                                  "programmer bus=2 bootloader=never\n"),
        0);
    TUsbBulk usb(OSTREL_SIM_DIR "/libusb-0.1.so.4");
    usb.setPause([](int) {});
    ASSERT_EQ(usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                            kProgrammerProductText),
              1);
    uint8_t packet[64] = {0, 13};
    usb.USB_bulk_cmd(packet, 64, 1);
    usb.USB_bulk_close();
    EXPECT_EQ(ostrel_sim_upgrade_requests(0), 1);

    HidDevice hid(OSTREL_SIM_DIR "/libhidapi-hidraw.so.0");
    auto find = [&] {
        return hid.findAndOpen(kBootLoaderVendorId, kBootLoaderManufacturer, kBootLoaderProductId,
                               kBootLoaderProduct);
    };
    EXPECT_EQ(find(), HidNoMatch) << "one scan still misses it";
    ASSERT_EQ(find(), HidFound);
    const Report start = iapReport(IapStart), query = iapReport(IapQuery);
    Report reply{};
    hid.writeReport(start.data(), 64);
    hid.readReport(reply.data(), 64);
    hid.writeReport(query.data(), 64);
    ASSERT_GT(hid.readReport(reply.data(), 64), 0);
    EXPECT_EQ(parseIapQueryReply(reply).target, 0x08005000u);
    EXPECT_EQ(parseIapQueryReply(reply).blockSize, 512);
    hid.close();

    for (const char* bad :
         {"programmer bootloader=soon\n", "device bus=1 vid=1 pid=2 bootloader=1\n",
          "programmer bootloader=1 block_size=70000\n"})
        EXPECT_EQ(ostrel_sim_configure_text(bad), 1) << bad;
    ostrel_sim_reset();
}

}  // namespace
}  // namespace ostrel

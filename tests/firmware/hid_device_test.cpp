// Finding the boot loader among the HID devices, and moving reports, through
// the hidapi stand-in.

#include "firmware/hid_device.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "firmware/firmware_upgrade.h"
#include "ostrel_sim.h"

namespace ostrel {
namespace {

constexpr int kVid = kBootLoaderVendorId;
constexpr int kPid = kBootLoaderProductId;
const char* const kMaker = kBootLoaderManufacturer;
const char* const kProduct = kBootLoaderProduct;

struct SearchCase {
    const char* name;
    std::function<void()> devices;  // sets up the HID side
    const char* manufacturer;       // asked for (the product is always kProduct)
    int result;
    int openHid;  // the HID number left open, or -1
};

// The HID number whose handle is still open: the last one opened and never closed.
int openHidNumber() {
    std::vector<int> open;
    for (int i = 0; i < ostrel_sim_log_count(); ++i) {
        ostrel_sim_log_entry e{};
        ostrel_sim_log_get(i, &e);
        if (e.kind == OSTREL_SIM_LOG_HID_OPEN && e.result == 0) open.push_back(e.device);
        if (e.kind == OSTREL_SIM_LOG_HID_CLOSE && !open.empty()) open.pop_back();
    }
    return open.empty() ? -1 : open.back();
}

TEST(HidDeviceSearch, ResultCodesAndTheDeviceKept) {
    const SearchCase cases[] = {
        {"no HID device", [] {}, kMaker, HidNoMatch, -1},
        {"another maker with the same IDs is skipped",
         [] {
             ostrel_sim_add_hid_device(kVid, kPid, "OtherDevice", kProduct);
             ostrel_sim_add_hid_device(kVid, kPid, kMaker, kProduct);
         },
         kMaker, HidFound, 1},
        {"same maker, other product: no match",
         [] { ostrel_sim_add_hid_device(kVid, kPid, kMaker, "GD32 DFU"); }, kMaker, HidNoMatch, -1},
        {"other IDs leave the open failure's code",
         [] {
             ostrel_sim_set_hid_fails(ostrel_sim_add_hid_device(0x1234, 0x5678, "K", "Keyboard"), 1,
                                      0);
             ostrel_sim_add_hid_device(0x046D, 0xC077, kMaker, kProduct);
         },
         kMaker, HidOpenFailed, -1},
        {"a matching device that gives no string",
         [] {
             ostrel_sim_set_hid_fails(ostrel_sim_add_hid_device(kVid, kPid, kMaker, kProduct), 0,
                                      1);
         },
         kMaker, HidStringFailed, -1},
        {"the latest event decides: string failure, then IDs matching",
         [] {
             ostrel_sim_set_hid_fails(ostrel_sim_add_hid_device(kVid, kPid, kMaker, kProduct), 0,
                                      1);
             ostrel_sim_add_hid_device(kVid, kPid, "OtherDevice", kProduct);
         },
         kMaker, HidNoMatch, -1},
        // U+0131 is no 8-bit character: it arrives as "?", and only a text with
        // "?" in that place matches.
        {"a character above 255 becomes ?",
         [] { ostrel_sim_add_hid_device(kVid, kPid, "G\u0131gaDevice", kProduct); }, "G?gaDevice",
         HidFound, 0},
        {"a character above 255 never equals the letter",
         [] { ostrel_sim_add_hid_device(kVid, kPid, "G\u0131gaDevice", kProduct); }, kMaker,
         HidNoMatch, -1},
        {"no texts: the first device with the IDs",
         [] {
             ostrel_sim_add_hid_device(0x1111, 0x2222, kMaker, kProduct);
             ostrel_sim_set_hid_fails(ostrel_sim_add_hid_device(kVid, kPid, "X", "Y"), 0, 1);
         },
         nullptr, HidFound, 1},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        ostrel_sim_reset();
        c.devices();
        HidDevice hid(OSTREL_SIM_DIR "/libhidapi-hidraw.so.0");
        EXPECT_EQ(hid.findAndOpen(kVid, c.manufacturer, kPid, c.manufacturer ? kProduct : nullptr),
                  c.result);
        EXPECT_EQ(hid.isOpen(), c.result == HidFound);
        EXPECT_EQ(openHidNumber(), c.openHid);
        hid.close();
        EXPECT_EQ(openHidNumber(), -1);
    }
    ostrel_sim_reset();
}

TEST(HidDeviceSearch, WithoutTheLibraryNothingIsFoundAndNothingMoves) {
    HidDevice hid("libostrel-no-such-hid-library.so.0");
    EXPECT_EQ(hid.findAndOpen(kVid, kMaker, kPid, kProduct), HidNoMatch);
    uint8_t report[64] = {1, 1};
    EXPECT_EQ(hid.writeReport(report, 64), 0);
    EXPECT_EQ(hid.readReport(report, 64), 0);
    EXPECT_EQ(hid.lastFailure(), HidFailure::NotOpen);
    hid.close();
}

// Reports on an open boot loader: a reply arrives, a missing one times out
// within a bounded wait, and a vanished device fails; a closed object moves nothing.
TEST(HidDeviceTransfers, RepliesTimeOutsAndAVanishedDevice) {
    ostrel_sim_reset();
    const int programmer = ostrel_sim_add_programmer(1);
    ostrel_sim_set_bootloader(programmer, 0);
    ostrel_sim_set_bootloader_present(programmer, 1);
    HidDevice hid(OSTREL_SIM_DIR "/libhidapi-hidraw.so.0");
    ASSERT_EQ(hid.findAndOpen(kVid, kMaker, kPid, kProduct), HidFound);

    Report start = iapReport(IapStart);
    Report reply{};
    EXPECT_EQ(hid.writeReport(start.data(), 64), 64);
    EXPECT_EQ(hid.readReport(reply.data(), 64), 64);
    EXPECT_EQ(hid.lastFailure(), HidFailure::None);

    ostrel_sim_set_bootloader_fault(programmer, OSTREL_SIM_BOOT_FAULT_SILENT_READ, 1);
    EXPECT_EQ(hid.writeReport(start.data(), 64), 64);
    EXPECT_EQ(hid.readReport(reply.data(), 64), 0);
    EXPECT_EQ(hid.lastFailure(), HidFailure::TimedOut);
    const int waited = ostrel_sim_hid_last_read_timeout();
    EXPECT_GT(waited, 0) << "a read must not wait for ever";
    EXPECT_LE(waited, 60000);

    ostrel_sim_set_bootloader_fault(programmer, OSTREL_SIM_BOOT_FAULT_VANISH, 0);
    EXPECT_EQ(hid.readReport(reply.data(), 64), 0);
    EXPECT_EQ(hid.lastFailure(), HidFailure::Failed);

    hid.close();
    hid.close();  // closing a closed object does nothing
    EXPECT_EQ(hid.writeReport(start.data(), 64), 0);
    EXPECT_EQ(hid.lastFailure(), HidFailure::NotOpen);
    EXPECT_EQ(ostrel_sim_protocol_error_count(), 0);
    ostrel_sim_reset();
}

TEST(HidStrings, EightBitConversion) {
    const wchar_t text[] = {L'G', 0xE9, 0x100, 0x4E2D, L'x', 0, L'y'};
    EXPECT_EQ(hidStringTo8Bit(text, 7), std::string("G\xE9??x"));
    EXPECT_EQ(hidStringTo8Bit(text, 2), std::string("G\xE9"));
    EXPECT_EQ(hidStringTo8Bit(nullptr, 5), "");
}

}  // namespace
}  // namespace ostrel

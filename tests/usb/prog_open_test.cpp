// prog_open, the transfers and close of TUsbBulk, and the presence check built on
// them, against the simulated bus.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "operations/window_presenter.h"
#include "ostrel_sim.h"
#include "support/scripted_ui.h"
#include "usb/presence_check.h"
#include "usb/programmer_identity.h"
#include "usb/usb01.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

class ProgOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        ostrel_sim_reset();
        usb.setPause([this](int ms) { pauses.push_back(ms); });
    }
    void TearDown() override {
        usb.USB_bulk_close();
        ostrel_sim_reset();
    }

    int open(const char* product = kProgrammerProductText) {
        return usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                             product);
    }
    // The kinds of log entries a device saw, in order.
    static std::vector<int> kindsOf(int device) {
        std::vector<int> kinds;
        for (int i = 0; i < ostrel_sim_log_count(); ++i) {
            ostrel_sim_log_entry e{};
            ostrel_sim_log_get(i, &e);
            if (e.device == device) kinds.push_back(e.kind);
        }
        return kinds;
    }
    static bool wasOpened(int device) {
        for (int kind : kindsOf(device)) {
            if (kind == OSTREL_SIM_LOG_OPEN) return true;
        }
        return false;
    }

    TUsbBulk usb{OSTREL_SIM_LIBRARY};
    std::vector<int> pauses;
};

// A device is taken for the programmer only by both IDs: one that shares the
// vendor's ID or the product ID alone is never even opened, whatever its strings.
TEST_F(ProgOpen, NoProgrammerOnTheBusGivesZero) {
    const struct {
        int vendorId;
        int productId;
        const char* manufacturer;
        const char* product;
    } devices[] = {
        {0x046D, 0xC077, "Mouse maker", "Mouse"},
        {kProgrammerVendorId, kProgrammerProductId + 1, kProgrammerVendorText,
         kProgrammerProductText},
        {kProgrammerVendorId + 1, kProgrammerProductId, kProgrammerVendorText,
         kProgrammerProductText},
    };
    for (const auto& d : devices) {
        SCOPED_TRACE(::testing::Message() << std::hex << d.vendorId << ":" << d.productId);
        ostrel_sim_reset();
        ostrel_sim_add_device(1, d.vendorId, d.productId, d.manufacturer, d.product);
        EXPECT_EQ(open(), 0);
        EXPECT_FALSE(usb.isOpen());
        EXPECT_FALSE(wasOpened(0)) << "a device with other IDs is never opened";
        EXPECT_NE(usb.lastDiagnostic().find("vid=0x1fc8 pid=0x300b"), std::string::npos);
    }
}

TEST_F(ProgOpen, OpensTheFirstProgrammerInBusOrderAndLeavesTheOtherAlone) {
    const int onBus2 = ostrel_sim_add_programmer(2);
    const int onBus1 = ostrel_sim_add_programmer(1);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(ostrel_sim_open_handles(onBus1), 1);
    EXPECT_FALSE(wasOpened(onBus2));
    usb.USB_bulk_close();
    EXPECT_EQ(ostrel_sim_open_handles(onBus1), 0);
    EXPECT_EQ(kindsOf(onBus1).back(), OSTREL_SIM_LOG_CLOSE);
}

TEST_F(ProgOpen, WithinABusTheFirstListedDeviceWins) {
    const int first = ostrel_sim_add_programmer(1);
    const int second = ostrel_sim_add_programmer(1);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(ostrel_sim_open_handles(first), 1);
    EXPECT_FALSE(wasOpened(second));
}

TEST_F(ProgOpen, CandidatesWithWrongStringsAreClosedAndTheSearchGoesOn) {
    struct Case {
        const char* manufacturer;
        const char* product;
    };
    const Case wrong[] = {
        {"Ostrel electronics", kProgrammerProductText},  // case matters
        {"Ostrel Electronics ", kProgrammerProductText},
        {kProgrammerVendorText, "ZarAZEZav"},
        {kProgrammerVendorText, "WinUSB1"},
        {nullptr, kProgrammerProductText},  // no manufacturer string at all
    };
    for (const Case& c : wrong) {
        ostrel_sim_add_device(1, kProgrammerVendorId, kProgrammerProductId, c.manufacturer,
                              c.product);
    }
    const int good = ostrel_sim_add_programmer(2);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(ostrel_sim_open_handles(good), 1);
    for (int d = 0; d < static_cast<int>(std::size(wrong)); ++d) {
        SCOPED_TRACE(d);
        std::vector<int> kinds = kindsOf(d);
        ASSERT_FALSE(kinds.empty());
        EXPECT_EQ(kinds.front(), OSTREL_SIM_LOG_OPEN);
        EXPECT_EQ(kinds.back(), OSTREL_SIM_LOG_CLOSE);
        EXPECT_EQ(ostrel_sim_open_handles(d), 0);
    }
}

TEST_F(ProgOpen, ACharacterAbove0xFFArrivesAsQuestionMark) {
    const int device = ostrel_sim_add_programmer(1);
    ostrel_sim_set_strings(device, nullptr, "Zar\xC4\x80ZEZave");  // U+0100
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(open("Zar?ZEZave"), 1);
}

// Opens the first listed device through the library itself, for calls that need a handle.
usb_dev_handle* openFirstDevice() {
    usb_find_busses();
    usb_find_devices();
    usb_bus* bus = usb_get_busses();
    return bus != nullptr && bus->devices != nullptr ? usb_open(bus->devices) : nullptr;
}

TEST_F(ProgOpen, StringDescriptorToText) {
    // é is U+00E9 and stays one 8-bit character; € is above 0xFF.
    ostrel_sim_add_device(1, 1, 2, "Ost\xC3\xA9l \xE2\x82\xAC", "P");
    usb_dev_handle* handle = openFirstDevice();
    ASSERT_NE(handle, nullptr);
    char unbound[4] = "x";
    EXPECT_EQ(usb.usbGetStringAscii(handle, 1, kStringLanguageId, unbound, 4), -2)
        << "the library is bound by prog_open";
    EXPECT_EQ(open(), 0);
    struct Case {
        int index;
        int textLength;
        int result;
        const char* text;
    };
    const Case cases[] = {
        {1, 256, 7, "Ost\xE9l ?"},
        {1, 4, 3, "Ost"},  // the zero takes the fourth byte
        {1, 1, 0, ""},
        {0, 256, 1, "\x09"},  // the language table: one unit 0x0409, high byte set
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.textLength);
        char text[300];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(usb.usbGetStringAscii(handle, c.index, kStringLanguageId, text, c.textLength),
                  c.result);
        EXPECT_STREQ(text, c.index == 0 ? "?" : c.text);
    }
    // No room at all: nothing is written.
    char untouched[2] = {'x', 'x'};
    EXPECT_EQ(usb.usbGetStringAscii(handle, 1, kStringLanguageId, untouched, 0), 0);
    EXPECT_EQ(untouched[0], 'x');
    // A string the device does not have: the library's error comes back as is.
    EXPECT_LT(usb.usbGetStringAscii(handle, 7, kStringLanguageId, untouched, 2), 0);
    EXPECT_EQ(untouched[0], 'x');
    usb_close(handle);
}

TEST_F(ProgOpen, OpenOrClaimFailureRejectsTheCandidate) {
    const int refusesOpen = ostrel_sim_add_programmer(1);
    ostrel_sim_set_open_fails(refusesOpen, 1);
    const int refusesClaim = ostrel_sim_add_programmer(1);
    ostrel_sim_set_claim_fails(refusesClaim, 1);
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(ostrel_sim_open_handles(refusesClaim), 0) << "closed after the failed claim";
    const int good = ostrel_sim_add_programmer(2);
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(ostrel_sim_open_handles(good), 1);
}

// The user is told different things when no programmer is there and when one
// is there but cannot be used; prog_open answers 0 in both cases.
TEST_F(ProgOpen, WhyNoProgrammerCouldBeUsed) {
    enum Setup { Mouse, Refuses, Busy, OtherStrings, Good };
    struct Case {
        const char* name;
        std::vector<Setup> devices;  // on bus 1, in order
        int result;
        OpenFailure failure;
        const char* diagnostic;  // a part of lastDiagnostic()
    };
    const Case cases[] = {
        {"empty bus", {}, 0, OpenFailure::NotFound, "Could not find USB device"},
        {"another device", {Mouse}, 0, OpenFailure::NotFound, "Could not find USB device"},
        {"other strings", {OtherStrings}, 0, OpenFailure::NotFound, "Could not find USB device"},
        {"no permission", {Refuses}, 0, OpenFailure::NotAccessible, "cannot open USB device"},
        {"held elsewhere", {Busy}, 0, OpenFailure::Busy, "held by another program"},
        {"refused, then other strings",
         {Refuses, OtherStrings},
         0,
         OpenFailure::NotAccessible,
         "could not be opened"},
        {"refused, then a good one", {Refuses, Good}, 1, OpenFailure::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ostrel_sim_reset();
        for (Setup d : c.devices) {
            if (d == Mouse) {
                ostrel_sim_add_device(1, 0x046D, 0xC077, "Mouse maker", "Mouse");
                continue;
            }
            const int device = ostrel_sim_add_programmer(1);
            if (d == Refuses) ostrel_sim_set_open_fails(device, 1);
            if (d == Busy) ostrel_sim_set_claim_fails(device, 1);
            if (d == OtherStrings) ostrel_sim_set_strings(device, "Someone else", nullptr);
        }
        EXPECT_EQ(open(), c.result);
        EXPECT_EQ(usb.lastOpenFailure(), c.failure);
        EXPECT_EQ(attachedButUnusable(usb.lastOpenFailure()),
                  c.failure == OpenFailure::NotAccessible || c.failure == OpenFailure::Busy);
        EXPECT_NE(usb.lastDiagnostic().find(c.diagnostic), std::string::npos)
            << usb.lastDiagnostic();
        usb.USB_bulk_close();
    }
    // Without the library an open and a scan both say so, rather than that
    // nothing is attached.
    TUsbBulk absent("/nonexistent/libusb-0.1.so.4");
    absent.setPause([](int) {});
    EXPECT_TRUE(absent
                    .listDevices(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                                 kProgrammerProductText)
                    .empty());
    EXPECT_EQ(absent.lastOpenFailure(), OpenFailure::NoLibrary);
    EXPECT_EQ(absent.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                               kProgrammerProductText),
              0);
    EXPECT_EQ(absent.lastOpenFailure(), OpenFailure::NoLibrary);
}

// Each shape alone on the bus, so that none hides behind another: a
// configuration that lists no interface has a table all the same, and a null
// table comes with a count of one.
TEST_F(ProgOpen, DevicesWithoutConfigurationOrInterfaceAreRejectedNotFollowed) {
    const struct {
        const char* what;
        int configurations, interfaces;
        bool nullTable;
    } shapes[] = {
        {"no configuration", 0, 1, false},
        {"a configuration without interfaces", 1, 0, false},
        {"a null interface table", 1, 1, true},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.what);
        ostrel_sim_reset();
        const int device = ostrel_sim_add_programmer(1);
        ostrel_sim_set_descriptor_shape(device, shape.configurations, shape.interfaces, 0);
        ostrel_sim_set_null_interface_table(device, shape.nullTable ? 1 : 0);
        EXPECT_EQ(open(), 0);
        EXPECT_EQ(ostrel_sim_open_handles(device), 0);
    }
}

TEST_F(ProgOpen, ClaimsTheInterfaceNumberTheDescriptorGivesAndReleasesItAtClose) {
    const int device = ostrel_sim_add_programmer(1);
    ostrel_sim_set_descriptor_shape(device, 1, 1, 3);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(usb.interfaceNumberValue(), 3);
    usb.USB_bulk_close();
    EXPECT_FALSE(usb.isOpen());
    const std::vector<int> kinds = kindsOf(device);
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_EQ(kinds[kinds.size() - 3], OSTREL_SIM_LOG_CLAIM);
    EXPECT_EQ(kinds[kinds.size() - 2], OSTREL_SIM_LOG_RELEASE);
    EXPECT_EQ(kinds.back(), OSTREL_SIM_LOG_CLOSE);
}

TEST_F(ProgOpen, EndpointPersonalities) {
    const int device = ostrel_sim_add_programmer(1);
    ostrel_sim_set_winusb(device, 1);
    EXPECT_EQ(open(kProgrammerProductText), 0) << "a WinUSB1 programmer is not a ZarAZEZave";
    ASSERT_EQ(open("WinUSB1"), 1);
    EXPECT_EQ(usb.readEndpointValue(), 0x81);
    EXPECT_EQ(usb.dataWriteEndpointValue(), 2);
    EXPECT_EQ(usb.commandWriteEndpointValue(), 1);
    EXPECT_FALSE(usb.bigEndianFields());
    usb.USB_bulk_close();

    ostrel_sim_set_winusb(device, 0);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(usb.readEndpointValue(), 0x82);
    EXPECT_EQ(usb.dataWriteEndpointValue(), 1);
    EXPECT_EQ(usb.commandWriteEndpointValue(), 2);
    EXPECT_TRUE(usb.bigEndianFields());
}

TEST_F(ProgOpen, AMissingLibraryFindsNothingAndTransfersDoNothing) {
    ostrel_sim_add_programmer(1);
    TUsbBulk absent("/nonexistent/libusb-0.1.so.4");
    std::vector<int> absentPauses;
    absent.setPause([&](int ms) { absentPauses.push_back(ms); });
    EXPECT_EQ(absent.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                               kProgrammerProductText),
              0);
    uint8_t packet[kPacketSize] = {0, 12};
    EXPECT_EQ(absent.USB_bulk_write(packet, kPacketSize), 0);
    EXPECT_EQ(absent.USB_bulk_read(packet, kPacketSize), 0);
    EXPECT_EQ(absent.USB_bulk_cmd(packet, kPacketSize, 1), 0);
    EXPECT_EQ(packet[1], 12);
    EXPECT_EQ(absentPauses, std::vector<int>{50}) << "a command with reply pauses even closed";
    absent.USB_bulk_close();
    EXPECT_EQ(ostrel_sim_log_count(), 0);
}

TEST_F(ProgOpen, CommandsPauseOnlyBeforeAReply) {
    ostrel_sim_add_programmer(1);
    ASSERT_EQ(open(), 1);
    uint8_t packet[kPacketSize] = {0, 12};  // hardware information
    EXPECT_EQ(usb.USB_bulk_cmd(packet, kPacketSize, 1), kPacketSize);
    EXPECT_EQ(pauses, std::vector<int>{50});
    uint8_t end[kPacketSize] = {0, 13};  // enter upgrade, reply left unread
    EXPECT_EQ(usb.USB_bulk_cmd(end, kPacketSize, 0), kPacketSize);
    EXPECT_EQ(pauses.size(), 1u);
}

TEST_F(ProgOpen, AReplyThatTimesOutLeavesTheCommandInTheBuffer) {
    const int device = ostrel_sim_add_programmer(1);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_READ_TIMEOUT, 1, 0);
    ASSERT_EQ(open(), 1);
    uint8_t packet[kPacketSize] = {0, 12};
    EXPECT_EQ(usb.USB_bulk_cmd(packet, kPacketSize, 1), -110);
    const uint8_t sent[kPacketSize] = {0, 12};
    EXPECT_EQ(0, std::memcmp(packet, sent, kPacketSize));

    // A command that does not go out is not followed by a read for its reply.
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_STALL, 0, 0);
    const int timeouts = ostrel_sim_timeouts(device);
    EXPECT_EQ(usb.USB_bulk_cmd(packet, kPacketSize, 1), -110);
    EXPECT_EQ(ostrel_sim_timeouts(device) - timeouts, 1);
}

TEST_F(ProgOpen, AnUnpluggedProgrammerFailsItsTransfersAndIsGoneFromTheNextScan) {
    const int device = ostrel_sim_add_programmer(1);
    ASSERT_EQ(open(), 1);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_UNPLUG, 0, 0);
    uint8_t packet[kPacketSize] = {0, 12};
    EXPECT_EQ(usb.USB_bulk_cmd(packet, kPacketSize, 1), -19);
    EXPECT_EQ(usb.USB_bulk_write(packet, kPacketSize), -19);
    usb.USB_bulk_close();
    EXPECT_EQ(open(), 0);
    ostrel_sim_set_plugged(device, 1);
    EXPECT_EQ(open(), 1);
}

// The connection monitor's check: the panel's text, the log line once per
// second, and an open device always closed again without a packet sent.
TEST_F(ProgOpen, ThePresenceCheckSaysWhetherTheProgrammerIsThereAndUsable) {
    const int device = ostrel_sim_add_programmer(1);
    testing::ScriptedUi ui;
    const std::string found =
        "The programmer Ostrel I is detected, and the working state is normal. (";
    struct Step {
        const char* name;
        int openFails, claimFails, plugged;
        const char* clock;
        Presence presence;
        const char* panel;
        std::size_t lines;
    };
    const Step steps[] = {
        {"no permission", 1, 0, 1, "10:00:00", Presence::AttachedButUnusable, "Not connected", 0},
        {"usable", 0, 0, 1, "10:00:00", Presence::Connected, "Connected", 1},
        {"again within the second", 0, 0, 1, "10:00:00", Presence::Connected, "Connected", 1},
        {"a second later", 0, 0, 1, "10:00:01", Presence::Connected, "Connected", 2},
        {"held by another program", 0, 1, 1, "10:00:02", Presence::AttachedButUnusable,
         "Not connected", 2},
        {"unplugged", 0, 0, 0, "10:00:03", Presence::NotConnected, "Not connected", 2},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        ostrel_sim_set_open_fails(device, s.openFails);
        ostrel_sim_set_claim_fails(device, s.claimFails);
        ostrel_sim_set_plugged(device, s.plugged);
        ui.clockText = s.clock;
        EXPECT_EQ(checkProgrammer(usb, ui, LangEnglish), s.presence);
        EXPECT_EQ(ui.statusPanels[PanelState], s.panel);
        ASSERT_EQ(ui.log.size(), s.lines);
        for (const std::string& line : ui.log) EXPECT_EQ(line.rfind(found, 0), 0u);
        EXPECT_EQ(ostrel_sim_open_handles(device), 0);
        EXPECT_FALSE(usb.isOpen());
    }
    EXPECT_EQ(ui.log.front(), found + "10:00:01)");
    for (int kind : kindsOf(device)) EXPECT_NE(kind, OSTREL_SIM_LOG_COMMAND);
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace ostrel

// What the simulated programmer refuses, what it logs, and the faults it
// injects on demand.

#include "sim_driver.h"

namespace ostrel::testing {
namespace {

using PacketChecks = SimDriver;
using Faults = SimDriver;

TEST_F(PacketChecks, OnlyIdentificationAndInformationWorkOutsideAJob) {
    struct Case {
        int flag;
        int code;
        bool accepted;
    };
    const Case cases[] = {
        {0, 9, true},  {0, 12, true},  {0, 13, true},  {1, 2, false}, {0, 5, false},
        {1, 8, false}, {0, 10, false}, {0, 11, false}, {0, 3, false}, {1, 12, false},
    };
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ostrel_sim_clear_protocol_errors();
        ASSERT_TRUE(open());
        Packet p = c.code == 9 ? setupPacket(9, 0, 256, 0x1000) : command(c.flag, c.code & 0xFF);
        if (c.code == 11) {
            p[2] = 3;
            p[3] = 1;
            p[4] = 0xB7;
        }
        const int result = send(p, false);
        EXPECT_EQ(ostrel_sim_protocol_error_count(), c.accepted ? 0 : 1);
        EXPECT_EQ(result, c.accepted ? kPacketSize : -32);
        usb.USB_bulk_close();
    }
}

TEST_F(PacketChecks, MalformedPacketsInsideAJobAreRefused) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    auto withByte = [](Packet p, int at, uint8_t value) {
        p[at] = value;
        return p;
    };
    Packet setAddress = command(0, 5);
    put32(setAddress, 8, 0x100);
    Packet erase = command(1, 2);
    put16(erase, 26, 0x8000);
    struct Case {
        const char* what;
        Packet packet;
    };
    const Case cases[] = {
        {"set-address with flag 1", withByte(setAddress, 0, 1)},
        {"set-address with a stray byte", withByte(setAddress, 40, 1)},
        {"set-address beyond the chip", withByte(setAddress, 8, 0x10)},
        {"erase with flag 0", withByte(erase, 0, 0)},
        {"erase argument in the wrong byte order", withByte(withByte(erase, 26, 0), 27, 0x80)},
        {"end of job with a stray byte", withByte(command(1, 8), 2, 1)},
        {"raw SPI without a length", withByte(command(0, 11), 2, 3)},
        {"set-up of class 5", withByte(setupPacket(7, 0, 256, 0x1000), 2, 5)},
        {"set-up of size 0", setupPacket(7, 0, 256, 0)},
        {"unknown command", command(0, 6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        begin(0, 256, 0x1000);
        ostrel_sim_clear_protocol_errors();
        Packet p = c.packet;
        EXPECT_EQ(send(p, false), -32);
        EXPECT_EQ(ostrel_sim_protocol_error_count(), 1);
        end();
    }
}

TEST_F(PacketChecks, DataStreamsNeedASetAddressAndWholeBlocksOneWay) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    std::vector<uint8_t> block(256, 0);
    begin(0, 256, 0x1000);
    EXPECT_EQ(usb.USB_bulk_write(block.data(), 256), -32) << "no set-address yet";
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), -110) << "nothing to send";
    setAddress(0, true);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 128), -32) << "half a block";
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), 256);
    EXPECT_EQ(usb.USB_bulk_write(block.data(), 256), -32) << "the stream reads";
    Packet poll = command(0, 10);
    send(poll, true);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), -110) << "a command ends the stream";
    uint8_t shortPacket[kPacketSize] = {0, 12};
    EXPECT_EQ(usb.USB_bulk_cmd(shortPacket, 32, 0), -32);
    end();
    EXPECT_EQ(ostrel_sim_protocol_error_count(), 6) << errors();
}

TEST_F(PacketChecks, TheLogKeepsPacketsWholeAndMergesDataBlocks) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x10000, nullptr);
    begin(0, 256, 0x10000);
    ostrel_sim_log_clear();
    write(0x400, std::vector<uint8_t>(4 * 256, 0x00));
    read(0x400, 2 * 256);
    end();
    const auto commands = log(OSTREL_SIM_LOG_COMMAND);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].command, 5);
    EXPECT_EQ(commands[0].bytes[10], 0x04) << "0x400 most significant byte first";
    EXPECT_EQ(commands[2].command, 8);
    const auto out = log(OSTREL_SIM_LOG_DATA_OUT);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].blocks, 4);
    EXPECT_EQ(out[0].total, 1024u);
    EXPECT_EQ(out[0].address, 0x400u);
    EXPECT_EQ(out[0].endpoint, 1);
    const auto in = log(OSTREL_SIM_LOG_DATA_IN);
    ASSERT_EQ(in.size(), 1u);
    EXPECT_EQ(in[0].blocks, 2);
    EXPECT_EQ(in[0].endpoint, 0x82);
    EXPECT_EQ(log(OSTREL_SIM_LOG_REPLY).size(), 1u);
}

TEST_F(Faults, ATimedOutReadLosesItsBlockAndTheStreamGoesOn) {
    ostrel_sim_insert_chip(device, 1, 0, 0x400, nullptr);
    for (uint32_t a = 0; a < 0x400; a += 256) fillChip(a, 256, static_cast<uint8_t>(a >> 8));
    begin(1, 256, 0x400);
    setAddress(0, true);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_READ_TIMEOUT, 1, 0);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_SHORT_READ, 2, 10);
    std::vector<uint8_t> block(256, 0xEE);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), -110);
    EXPECT_EQ(block[0], 0xEE) << "no data";
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), 10);
    EXPECT_EQ(block[9], 0x01);
    EXPECT_EQ(block[10], 0xEE);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), 256);
    EXPECT_EQ(block[0], 0x02) << "the address advanced past the lost blocks";
    end();
    EXPECT_EQ(errors(), "");
}

TEST_F(Faults, UnplugAfterNTransfers) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    ASSERT_TRUE(open());
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_UNPLUG, 2, 0);
    Packet setup = setupPacket(7, 0, 256, 0x1000);
    EXPECT_EQ(send(setup, true), kPacketSize);
    Packet p = command(0, 12);
    EXPECT_EQ(send(p, true), -19);
    EXPECT_EQ(usb.USB_bulk_read(p.data(), kPacketSize), -19);
    usb.USB_bulk_close();
    EXPECT_FALSE(open()) << "gone from the next scan";
}

TEST_F(Faults, BusyThatNeverClears) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_BUSY_FOREVER, 0, 0);
    begin(0, 256, 0x1000);
    erase(0x8000);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(pollBusy()) << "poll " << i;
    end();
}

TEST_F(Faults, AWriteProtectedChipIgnoresWritesAndErases) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    fillChip(0, 0x1000, 0x5A);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_WRITE_PROTECT, 0, 0);
    begin(0, 256, 0x1000);
    erase(0x8000);
    write(0, std::vector<uint8_t>(256, 0x00));
    EXPECT_EQ(read(0, 256), std::vector<uint8_t>(256, 0x5A));
    end();
    EXPECT_EQ(errors(), "");
}

TEST_F(Faults, TheSameFaultsGiveTheSameLogTwice) {
    auto run = [this] {
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
        ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_READ_TIMEOUT, 4, 0);
        ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_SHORT_READ, 6, 3);
        begin(0, 256, 0x1000);
        read(0, 0x1000);
        end();
        std::vector<std::string> texts;
        for (int i = 0; i < ostrel_sim_log_count(); ++i) {
            ostrel_sim_log_entry e{};
            ostrel_sim_log_get(i, &e);
            texts.push_back(std::string(e.text) + "/" + std::to_string(e.result) + "/" +
                            std::to_string(e.blocks));
        }
        return texts;
    };
    EXPECT_EQ(run(), run());
}

TEST(SimConfiguration, ReportsTheFirstLineItCannotUnderstand) {
    struct Case {
        const char* text;
        int result;
    };
    const Case cases[] = {
        {"# nothing\n\nprogrammer bus=2 winusb=1\nchip id=0xEF4017 size=0x800000\n", 0},
        {"device bus=1 vid=0x1234 pid=0x5678 manufacturer=\"A B\" product=\"C\"\n", 0},
        {"chip size=0x100\n", 1},           // no programmer yet
        {"programmer\nchip class=0\n", 2},  // no size
        {"programmer bus=x\n", 1},
        {"programmer product=\"open\n", 1},
        {"device bus=1\n", 1},  // no IDs
        {"socket 1\n", 1},
        // Counts a descriptor cannot carry, and a bus number that only fits after a cut.
        {"programmer interfaces=2000000000\n", 1},
        {"programmer configurations=256\n", 1},
        {"programmer bus=4294967297\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ostrel_sim_configure_text(c.text), c.result);
    }
    ASSERT_EQ(ostrel_sim_configure_text("programmer bus=3 manufacturer=\"Other Maker\" claim=fail\n"
                                        "chip id=0xC22018 size=0x1000000 class=0 protect=1\n"),
              0);
    EXPECT_EQ(ostrel_sim_chip_size(0), 0x1000000u);
    ostrel_sim_reset();
}

}  // namespace
}  // namespace ostrel::testing
